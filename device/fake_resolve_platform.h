// A device tree, a WMI and a mounted-devices key in memory, for the tests of
// drive resolution. Every call is recorded in `calls`.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/resolve.h"

namespace tarnwick {

inline std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t u : text) out += u < 0x80 ? static_cast<char>(u) : '?';
  return out;
}
inline std::string narrow(const char16_t* text) { return narrow(std::u16string(text)); }

struct FakeNode {
  std::u16string id;
  DevNode parent = 0;  // 0: the node is the root of the tree
  bool removable = false;
  bool statusReadable = true;
  bool idReadable = true;
  bool openable = true;
  std::optional<std::u16string> friendlyName;
  std::optional<std::u16string> description;
};

struct FakeResolvePlatform : ResolvePlatform {
  bool volumeOpens = true;
  bool numberReads = true;
  StorageDeviceNumber number{kDeviceTypeDisk, 1, 1};
  std::map<std::u16string, std::u16string> wmiRows;  // query text -> PNPDeviceID of the first row
  bool keyOpens = true;
  std::map<std::u16string, std::vector<uint8_t>> mountedDevices;  // value name -> data
  bool valueGrows = false;  // the value fills every byte given for the second read
  std::map<DevNode, FakeNode> nodes;
  std::vector<std::string> calls;

  // State the tests check after a run.
  bool volumeOpen = false;
  bool keyOpen = false;
  size_t lastValueUnits = 0;  // room the logic gave for the value, in units
  std::u16string opened;      // device opened in the set

  DevNode add(DevNode node, FakeNode info) {
    nodes[node] = std::move(info);
    return node;
  }
  bool called(const std::string& prefix) const {
    for (const auto& c : calls) {
      if (c.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

  bool openVolume(const char16_t* path) override {
    calls.push_back("volume " + narrow(path));
    volumeOpen = volumeOpens;
    return volumeOpens;
  }
  bool readStorageDeviceNumber(StorageDeviceNumber& n) override {
    calls.push_back("number");
    if (numberReads) n = number;
    return numberReads;
  }
  void closeVolume() override {
    calls.push_back("~volume");
    volumeOpen = false;
  }
  bool queryPnpDeviceId(const char16_t* query, char16_t* id, size_t capacity) override {
    calls.push_back("wmi " + narrow(query));
    auto row = wmiRows.find(query);
    if (row == wmiRows.end() || row->second.size() >= capacity) return false;
    std::memcpy(id, row->second.c_str(), (row->second.size() + 1) * sizeof(char16_t));
    return true;
  }
  bool openMountedDevices() override {
    calls.push_back("key");
    keyOpen = keyOpens;
    return keyOpens;
  }
  bool queryMountedDevice(const char16_t* name, void* data, uint32_t& bytes) override {
    auto value = mountedDevices.find(name);
    if (data == nullptr) {
      calls.push_back("value size " + narrow(name));
      if (value == mountedDevices.end()) return false;
      bytes = static_cast<uint32_t>(value->second.size());
      return true;
    }
    calls.push_back("value read " + std::to_string(bytes));
    lastValueUnits = bytes / 2;
    if (value == mountedDevices.end()) return false;
    if (valueGrows) {
      std::memset(data, 'A', bytes);
      return true;
    }
    if (value->second.size() > bytes) return false;
    std::memcpy(data, value->second.data(), value->second.size());
    bytes = static_cast<uint32_t>(value->second.size());
    return true;
  }
  void closeMountedDevices() override {
    calls.push_back("~key");
    keyOpen = false;
  }
  bool locateDevNode(const char16_t* id, DevNode& node) override {
    calls.push_back("locate " + narrow(id));
    for (const auto& [n, info] : nodes) {
      if (info.id == id) {
        node = n;
        return true;
      }
    }
    return false;
  }
  bool getDeviceId(DevNode node, char16_t* id, size_t capacity) override {
    calls.push_back("id " + std::to_string(node));
    auto n = nodes.find(node);
    if (n == nodes.end() || !n->second.idReadable || n->second.id.size() >= capacity) return false;
    std::memcpy(id, n->second.id.c_str(), (n->second.id.size() + 1) * sizeof(char16_t));
    return true;
  }
  bool getParent(DevNode node, DevNode& parent) override {
    calls.push_back("parent " + std::to_string(node));
    auto n = nodes.find(node);
    if (n == nodes.end() || n->second.parent == 0) return false;
    parent = n->second.parent;
    return true;
  }
  bool getStatus(DevNode node, uint32_t& status) override {
    calls.push_back("status " + std::to_string(node));
    auto n = nodes.find(node);
    if (n == nodes.end() || !n->second.statusReadable) return false;
    status = 0x0000000A | (n->second.removable ? kStatusRemovable : 0);  // started, with a driver
    return true;
  }
  bool openDeviceInfo(const char16_t* id) override {
    calls.push_back("open " + narrow(id));
    opened.clear();
    for (const auto& [n, info] : nodes) {
      if (info.id == id && info.openable) {
        opened = id;
        return true;
      }
    }
    return false;
  }
  bool readDeviceProperty(DeviceProperty property, char16_t* text, size_t capacity) override {
    const bool friendly = property == DeviceProperty::FriendlyName;
    calls.push_back(friendly ? "friendly" : "description");
    for (const auto& [n, info] : nodes) {
      if (info.id != opened) continue;
      const auto& value = friendly ? info.friendlyName : info.description;
      if (!value || value->size() >= capacity) return false;
      std::memcpy(text, value->c_str(), (value->size() + 1) * sizeof(char16_t));
      return true;
    }
    return false;
  }
};

}  // namespace tarnwick
