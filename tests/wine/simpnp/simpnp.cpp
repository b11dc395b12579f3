// Simulated Plug and Play layer for the whole-program tests. Test code only:
// it is never part of Tarnwick.exe.
//
// Wine has no removable device nodes, its CM_Locate_DevNodeW fails and its
// CM_Request_Device_EjectW accepts anything, so a test puts this DLL, built as
// "setupapi.dll", beside a copy of Tarnwick.exe together with "wsetupapi.dll",
// a renamed copy of Wine's own setupapi, and selects it with the DLL override
// setupapi=n,b. It answers the configuration manager and SetupDi calls that
// the program makes from a small device tree, forwards every other export to
// wsetupapi (the .def file is generated from Wine's export table), passes on
// every call about a node or set that is not its own, and logs every call of
// the functions below.
//
// Environment (read on every call, so a test may change the tree while the
// program runs, to make a device go away for instance):
//   TARNWICK_SIMPNP_DEVICES  Windows path of the device tree description.
//   TARNWICK_SIMPNP_LOG      Windows path of the call log; appended to by
//                            every process that loads this DLL.
//   TARNWICK_SIMPNP_HOLD_ARGUMENT, TARNWICK_SIMPNP_HOLD_FILE
//                            a process whose command line contains the first
//                            text logs "hold" with its command line when this
//                            DLL loads and then waits (at most 120 s) until it
//                            could delete the file named by the second: each
//                            file a test creates lets exactly one waiting
//                            process go on, after the test has looked at it.
//   TARNWICK_SIMPNP_VOLUMES  "empty": the set of present volume interfaces
//                            that SetupDiGetClassDevsW returns is empty;
//                            "fail": that call fails (INVALID_HANDLE_VALUE).
//   TARNWICK_SIMPNP_EXIT_LOG when set, every process that loaded this DLL
//                            logs "exit" with its command line and the
//                            number of its handles in the system handle
//                            table when it ends normally.
// Without TARNWICK_SIMPNP_DEVICES the tree is empty and every call is passed
// on; without TARNWICK_SIMPNP_LOG nothing is logged.
//
// Description: UTF-8 text, one section per device, ';' or '#' starts a
// comment line:
//   [USB\VID_0781&PID_5567\4C530001]      device instance id (any case)
//   parent = USB\ROOT_HUB20\4&1           parent's id; none: the root
//   removable = 1                         DN_REMOVABLE in its status
//   present = 1                           0: the device has gone
//   friendly_name = SanDisk Cruzer        SPDRP_FRIENDLYNAME; none: no such property
//   description = USB Mass Storage Device SPDRP_DEVICEDESC; none: no such property
//   vetoes = 2                            refuse the first 2 eject requests ("all": every one)
//   veto_type = 6                         PNP_VETO_TYPE reported with a refusal
//   veto_name = \Device\HarddiskVolume3   veto name reported with a refusal
//   eject_ms = 500                        an eject request takes this long (default 0)
//   veto_while_open = E:\dir\file.txt     refuse while some process holds this file open
//                                         (it cannot be opened without sharing)
// The root of the tree, HTREE\ROOT\0, exists implicitly: it is what an empty
// id locates; it is not removable and has no parent. Requests are counted
// over the whole log, across processes, so "vetoes" holds for a run of
// several processes. An eject request for a device that is not marked
// removable is refused with veto type 5 (PNP_VetoIllegalDeviceRequest).
//
// Log: UTF-8, one line per call, tab-separated: the function name, then
// key=value fields. Always pid=<process id>, t=<milliseconds> (the time the
// line was written, on the performance counter that all processes share,
// with three decimals) and result=<value>; per function:
//   CM_Locate_DevNodeW        id flags [devnode] sim
//   CM_Get_Device_IDW         devnode length flags [id] sim
//   CM_Get_Parent             devnode flags [parent] sim
//   CM_Get_DevNode_Status     devnode flags [status problem] sim
//   CM_Request_Device_EjectW  devnode [id] veto_type_buffer veto_name_buffer name_length
//                             flags start (t when the request came in) [veto_type veto_name] sim
//   SetupDiGetClassDevsW      class enumerator flags (result is the set handle)
//   SetupDiDestroyDeviceInfoList  set
//   SetupDiOpenDeviceInfoW    set id flags [devnode] sim
//   SetupDiGetDeviceRegistryPropertyW  set devnode property size [value] sim
//   hold                      command_line (result is always 0)
//   eject_wait                devnode id ms: written when a request with eject_ms
//                             begins to wait, before its own line (result 0)
//   exit                      command_line handles (result 0)
// "sim" is 1 when the simulated tree answered and 0 when the call was passed
// on; buffers are logged as 1 (given) or 0 (null).
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "../tools/handle_count.h"
#include "../tools/shared_log.h"

namespace {

constexpr wchar_t kRootId[] = L"HTREE\\ROOT\\0";
constexpr ULONG_PTR kElementMark = 0x51AA51AA;  // SP_DEVINFO_DATA.Reserved of simulated elements

struct Device {
  std::wstring id;
  std::wstring parent;  // empty: the root
  bool removable = false;
  bool present = true;
  bool hasFriendlyName = false;
  std::wstring friendlyName;
  bool hasDescription = false;
  std::wstring description;
  long vetoes = 0;  // -1: every request
  DWORD vetoType = 6;
  std::wstring vetoName;
  DWORD ejectMs = 0;
  std::wstring vetoWhileOpen;
};

std::wstring environment(const wchar_t* name) {
  wchar_t value[1024];
  DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

std::string readFile(const std::wstring& path) {
  std::string data;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return data;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) data.append(chunk, read);
  CloseHandle(file);
  return data;
}

std::wstring fromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string toUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::wstring trim(const std::wstring& text) {
  size_t begin = text.find_first_not_of(L" \t\r\n");
  if (begin == std::wstring::npos) return std::wstring();
  size_t end = text.find_last_not_of(L" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

std::wstring upper(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  }
  return text;
}

bool sameId(const std::wstring& a, const std::wstring& b) { return upper(a) == upper(b); }

bool yes(const std::wstring& value) {
  std::wstring v = upper(value);
  return v == L"1" || v == L"YES" || v == L"TRUE";
}

// The tree as the description file holds it now.
std::vector<Device> loadTree() {
  std::vector<Device> devices;
  std::wstring path = environment(L"TARNWICK_SIMPNP_DEVICES");
  if (path.empty()) return devices;
  std::wstring text = fromUtf8(readFile(path));
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(L'\n', at);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == L';' || line[0] == L'#') continue;
    if (line[0] == L'[' && line.back() == L']') {
      devices.emplace_back();
      devices.back().id = trim(line.substr(1, line.size() - 2));
      continue;
    }
    size_t equals = line.find(L'=');
    if (equals == std::wstring::npos || devices.empty()) continue;
    std::wstring key = trim(line.substr(0, equals));
    std::wstring value = trim(line.substr(equals + 1));
    Device& d = devices.back();
    if (key == L"parent") {
      d.parent = value;
    } else if (key == L"removable") {
      d.removable = yes(value);
    } else if (key == L"present") {
      d.present = yes(value);
    } else if (key == L"friendly_name") {
      d.hasFriendlyName = true;
      d.friendlyName = value;
    } else if (key == L"description") {
      d.hasDescription = true;
      d.description = value;
    } else if (key == L"vetoes") {
      d.vetoes = upper(value) == L"ALL" ? -1 : std::wcstol(value.c_str(), nullptr, 0);
    } else if (key == L"veto_type") {
      d.vetoType = std::wcstoul(value.c_str(), nullptr, 0);
    } else if (key == L"veto_name") {
      d.vetoName = value;
    } else if (key == L"veto_while_open") {
      d.vetoWhileOpen = value;
    } else if (key == L"eject_ms") {
      d.ejectMs = std::wcstoul(value.c_str(), nullptr, 0);
    }
  }
  return devices;
}

// Simulated nodes are numbered from their upper-case id, so that a node keeps
// its number while the description changes, far above Wine's own numbers.
DEVINST nodeOf(const std::wstring& id) {
  uint32_t hash = 2166136261u;
  for (wchar_t c : upper(id)) hash = (hash ^ static_cast<uint32_t>(c)) * 16777619u;
  return 0x40000000u | (hash & 0x3FFFFFFFu);
}

struct Tree {
  std::vector<Device> devices = loadTree();

  // The device behind a simulated node; the root is a device of its own.
  const Device* byNode(DEVINST node) const {
    static const Device root = [] {
      Device d;
      d.id = kRootId;
      return d;
    }();
    if (node == nodeOf(kRootId)) return &root;
    for (const Device& d : devices) {
      if (nodeOf(d.id) == node) return &d;
    }
    return nullptr;
  }
  const Device* byId(const std::wstring& id) const {
    for (const Device& d : devices) {
      if (sameId(d.id, id)) return &d;
    }
    return nullptr;
  }
};

std::wstring hex(unsigned long long value) {
  wchar_t text[24];
  std::swprintf(text, 24, L"0x%llx", value);
  return text;
}

std::wstring decimal(unsigned long long value) { return std::to_wstring(value); }

// Now, in milliseconds on the counter that every process of the machine shares.
std::wstring timeStamp() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  const unsigned long long micro = static_cast<unsigned long long>(now.QuadPart) * 1000000ull /
                                   static_cast<unsigned long long>(frequency.QuadPart);
  wchar_t text[32];
  std::swprintf(text, 32, L"%llu.%03llu", micro / 1000, micro % 1000);
  return text;
}

std::wstring guidText(const GUID* guid) {
  if (guid == nullptr) return L"null";
  wchar_t text[48];
  std::swprintf(text, 48, L"{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                static_cast<unsigned long>(guid->Data1), guid->Data2, guid->Data3, guid->Data4[0],
                guid->Data4[1], guid->Data4[2], guid->Data4[3], guid->Data4[4], guid->Data4[5],
                guid->Data4[6], guid->Data4[7]);
  return text;
}

// One log line, written with one append so that processes do not mix lines.
class LogLine {
 public:
  explicit LogLine(const wchar_t* function) : text_(function) {
    add(L"pid", decimal(GetCurrentProcessId()));
  }
  LogLine& add(const wchar_t* key, const std::wstring& value) {
    text_ += L'\t';
    text_ += key;
    text_ += L'=';
    text_ += value;
    return *this;
  }
  LogLine& add(const wchar_t* key, const wchar_t* value) {
    return add(key, std::wstring(value != nullptr ? value : L"(null)"));
  }
  void write() {
    std::wstring path = environment(L"TARNWICK_SIMPNP_LOG");
    if (path.empty()) return;
    add(L"t", timeStamp());
    std::string line = toUtf8(text_) + "\n";
    testonly::appendSharedLine(path.c_str(), line.data(), line.size());
  }

 private:
  std::wstring text_;
};

// Eject requests for this device logged so far, by any process.
long earlierRequests(const std::wstring& id) {
  std::wstring path = environment(L"TARNWICK_SIMPNP_LOG");
  if (path.empty()) return 0;
  std::wstring log = fromUtf8(readFile(path));
  const std::wstring head = L"CM_Request_Device_EjectW\t";
  const std::wstring field = L"\tid=" + id + L"\t";
  long count = 0;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find(L'\n', at);
    if (end == std::wstring::npos) end = log.size();
    std::wstring line = log.substr(at, end - at);
    if (line.compare(0, head.size(), head) == 0 && line.find(field) != std::wstring::npos) ++count;
    at = end + 1;
  }
  return count;
}

// True when some process holds the file open: it cannot be opened without sharing.
bool heldOpen(const std::wstring& path) {
  if (path.empty()) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(file);
  return false;
}

// Wine's own setupapi, for every call that is not about the simulated tree.
template <typename Function>
Function real(const char* name) {
  static HMODULE module = LoadLibraryW(L"wsetupapi.dll");
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Wine's own setupapi function of the same name as `function`, defined here too.
#define REAL(function) real<decltype(&function)>(#function)

// Ends a configuration manager call: logs its result and whether the
// simulated tree answered (sim=1) or Wine's setupapi (sim=0), and returns it.
CONFIGRET answered(LogLine& line, CONFIGRET result, bool simulated) {
  line.add(L"result", hex(result)).add(L"sim", simulated ? L"1" : L"0").write();
  return result;
}

// The same for a SetupDi call, whose result is a BOOL.
BOOL answeredBool(LogLine& line, BOOL result, bool simulated) {
  line.add(L"result", decimal(result)).add(L"sim", simulated ? L"1" : L"0").write();
  return result;
}

bool copyText(const std::wstring& text, wchar_t* buffer, size_t capacity) {
  if (buffer == nullptr || text.size() + 1 > capacity) return false;
  text.copy(buffer, text.size());
  buffer[text.size()] = 0;
  return true;
}

}  // namespace

extern "C" {

CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST node, DEVINSTID_W id, ULONG flags) {
  Tree tree;
  std::wstring wanted = id != nullptr ? std::wstring(id) : std::wstring();
  LogLine line(L"CM_Locate_DevNodeW");
  line.add(L"id", id).add(L"flags", hex(flags));
  const Device* device = wanted.empty() ? tree.byNode(nodeOf(kRootId)) : tree.byId(wanted);
  if (device == nullptr) {
    return answered(line, REAL(CM_Locate_DevNodeW)(node, id, flags), false);
  }
  CONFIGRET result = CR_NO_SUCH_DEVNODE;
  if (node == nullptr) {
    result = CR_INVALID_POINTER;
  } else if (device->present) {
    *node = nodeOf(device->id);
    result = CR_SUCCESS;
    line.add(L"devnode", hex(*node));
  }
  return answered(line, result, true);
}

CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST node, PWCHAR buffer, ULONG length, ULONG flags) {
  Tree tree;
  LogLine line(L"CM_Get_Device_IDW");
  line.add(L"devnode", hex(node)).add(L"length", decimal(length)).add(L"flags", hex(flags));
  const Device* device = tree.byNode(node);
  if (device == nullptr) {
    return answered(line, REAL(CM_Get_Device_IDW)(node, buffer, length, flags), false);
  }
  CONFIGRET result = CR_SUCCESS;
  if (!device->present) {
    result = CR_NO_SUCH_DEVNODE;
  } else if (buffer == nullptr) {
    result = CR_INVALID_POINTER;
  } else if (device->id.size() > length) {
    result = CR_BUFFER_SMALL;
  } else {
    // As the configuration manager does: the terminator only when there is room for it.
    device->id.copy(buffer, device->id.size());
    if (device->id.size() < length) buffer[device->id.size()] = 0;
    line.add(L"id", device->id);
  }
  return answered(line, result, true);
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST node, ULONG flags) {
  Tree tree;
  LogLine line(L"CM_Get_Parent");
  line.add(L"devnode", hex(node)).add(L"flags", hex(flags));
  const Device* device = tree.byNode(node);
  if (device == nullptr) {
    return answered(line, REAL(CM_Get_Parent)(parent, node, flags), false);
  }
  CONFIGRET result = CR_SUCCESS;
  if (parent == nullptr) {
    result = CR_INVALID_POINTER;
  } else if (!device->present || sameId(device->id, kRootId)) {
    result = CR_NO_SUCH_DEVNODE;
  } else {
    *parent = nodeOf(device->parent.empty() ? std::wstring(kRootId) : device->parent);
    line.add(L"parent", hex(*parent));
  }
  return answered(line, result, true);
}

CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST node, ULONG flags) {
  Tree tree;
  LogLine line(L"CM_Get_DevNode_Status");
  line.add(L"devnode", hex(node)).add(L"flags", hex(flags));
  const Device* device = tree.byNode(node);
  if (device == nullptr) {
    return answered(line, REAL(CM_Get_DevNode_Status)(status, problem, node, flags), false);
  }
  CONFIGRET result = CR_SUCCESS;
  if (status == nullptr || problem == nullptr) {
    result = CR_INVALID_POINTER;
  } else if (!device->present) {
    result = CR_NO_SUCH_DEVNODE;
  } else {
    // Started, with a driver, enumerated; removable as described.
    *status = DN_DRIVER_LOADED | DN_STARTED | DN_NT_ENUMERATOR | DN_NT_DRIVER |
              (device->removable ? DN_REMOVABLE : 0);
    *problem = 0;
    line.add(L"status", hex(*status)).add(L"problem", L"0");
  }
  return answered(line, result, true);
}

CONFIGRET WINAPI CM_Request_Device_EjectW(DEVINST node, PPNP_VETO_TYPE vetoType, LPWSTR vetoName,
                                          ULONG nameLength, ULONG flags) {
  Tree tree;
  LogLine line(L"CM_Request_Device_EjectW");
  line.add(L"devnode", hex(node));
  const Device* device = tree.byNode(node);
  if (device != nullptr) line.add(L"id", device->id);
  line.add(L"veto_type_buffer", vetoType != nullptr ? L"1" : L"0")
      .add(L"veto_name_buffer", vetoName != nullptr ? L"1" : L"0")
      .add(L"name_length", decimal(nameLength))
      .add(L"flags", hex(flags))
      .add(L"start", timeStamp());
  if (device != nullptr && device->ejectMs > 0) {
    // Tells a test that the request is under way: its own line comes at its end.
    LogLine(L"eject_wait")
        .add(L"devnode", hex(node))
        .add(L"id", device->id)
        .add(L"ms", decimal(device->ejectMs))
        .add(L"result", L"0")
        .write();
    Sleep(device->ejectMs);
  }
  if (device == nullptr) {
    return answered(
        line, REAL(CM_Request_Device_EjectW)(node, vetoType, vetoName, nameLength, flags), false);
  }
  CONFIGRET result = CR_SUCCESS;
  DWORD type = 0;
  std::wstring name;
  if (!device->present) {
    result = CR_NO_SUCH_DEVNODE;
  } else if (!device->removable) {
    result = CR_REMOVE_VETOED;
    type = PNP_VetoIllegalDeviceRequest;
    name = device->id;
  } else if (device->vetoes < 0 || earlierRequests(device->id) < device->vetoes ||
             heldOpen(device->vetoWhileOpen)) {
    result = CR_REMOVE_VETOED;
    type = device->vetoType;
    name = device->vetoName;
  }
  if (result == CR_REMOVE_VETOED) {
    if (vetoType != nullptr) *vetoType = static_cast<PNP_VETO_TYPE>(type);
    // Never more than the caller said it has room for, terminator included.
    if (vetoName != nullptr && nameLength > 0) {
      size_t units = name.size() < nameLength ? name.size() : nameLength - 1;
      name.copy(vetoName, units);
      vetoName[units] = 0;
    }
    line.add(L"veto_type", decimal(type)).add(L"veto_name", name);
  }
  return answered(line, result, true);
}

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                     DWORD flags) {
  static const GUID kVolumeInterface = {
      0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
  const std::wstring volumes = environment(L"TARNWICK_SIMPNP_VOLUMES");
  const bool volumeSet = classGuid != nullptr && IsEqualGUID(*classGuid, kVolumeInterface) &&
                         (flags & DIGCF_DEVICEINTERFACE) != 0;
  HDEVINFO set = INVALID_HANDLE_VALUE;
  if (volumeSet && volumes == L"fail") {
    // INVALID_HANDLE_VALUE, with the error set after the log line below.
  } else if (volumeSet && volumes == L"empty") {
    set = REAL(SetupDiCreateDeviceInfoList)(classGuid, parent);
  } else {
    set = REAL(SetupDiGetClassDevsW)(classGuid, enumerator, parent, flags);
  }
  LogLine(L"SetupDiGetClassDevsW")
      .add(L"class", guidText(classGuid))
      .add(L"enumerator", enumerator)
      .add(L"flags", hex(flags))
      .add(L"result", hex(reinterpret_cast<ULONG_PTR>(set)))
      .write();
  if (set == INVALID_HANDLE_VALUE && volumeSet && volumes == L"fail")
    SetLastError(ERROR_INVALID_DATA);
  return set;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  BOOL result = REAL(SetupDiDestroyDeviceInfoList)(set);
  LogLine(L"SetupDiDestroyDeviceInfoList")
      .add(L"set", hex(reinterpret_cast<ULONG_PTR>(set)))
      .add(L"result", decimal(result))
      .write();
  return result;
}

BOOL WINAPI SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR id, HWND parent, DWORD flags,
                                   PSP_DEVINFO_DATA element) {
  Tree tree;
  LogLine line(L"SetupDiOpenDeviceInfoW");
  line.add(L"set", hex(reinterpret_cast<ULONG_PTR>(set))).add(L"id", id).add(L"flags", hex(flags));
  const Device* device = id != nullptr ? tree.byId(id) : nullptr;
  if (device == nullptr) {
    return answeredBool(line, REAL(SetupDiOpenDeviceInfoW)(set, id, parent, flags, element), false);
  }
  BOOL result = FALSE;
  if (set == INVALID_HANDLE_VALUE || set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
  } else if (element != nullptr && element->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
  } else if (!device->present) {
    SetLastError(ERROR_NO_SUCH_DEVINST);
  } else {
    if (element != nullptr) {
      element->ClassGuid = GUID{};
      element->DevInst = nodeOf(device->id);
      element->Reserved = kElementMark;
      line.add(L"devnode", hex(element->DevInst));
    }
    result = TRUE;
  }
  return answeredBool(line, result, true);
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA element,
                                              DWORD property, PDWORD type, PBYTE buffer, DWORD size,
                                              PDWORD required) {
  Tree tree;
  LogLine line(L"SetupDiGetDeviceRegistryPropertyW");
  line.add(L"set", hex(reinterpret_cast<ULONG_PTR>(set)));
  const Device* device = element != nullptr && element->Reserved == kElementMark
                             ? tree.byNode(element->DevInst)
                             : nullptr;
  if (element != nullptr) line.add(L"devnode", hex(element->DevInst));
  line.add(L"property", decimal(property)).add(L"size", decimal(size));
  if (device == nullptr) {
    return answeredBool(line,
                        REAL(SetupDiGetDeviceRegistryPropertyW)(set, element, property, type,
                                                                buffer, size, required),
                        false);
  }
  const bool friendly = property == SPDRP_FRIENDLYNAME;
  const bool described = property == SPDRP_DEVICEDESC;
  BOOL result = FALSE;
  if (!device->present) {
    SetLastError(ERROR_NO_SUCH_DEVINST);
  } else if (!(friendly && device->hasFriendlyName) && !(described && device->hasDescription)) {
    SetLastError(ERROR_INVALID_DATA);
  } else {
    const std::wstring& value = friendly ? device->friendlyName : device->description;
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    if (required != nullptr) *required = bytes;
    if (type != nullptr) *type = REG_SZ;
    if (buffer == nullptr || size < bytes) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
    } else {
      copyText(value, reinterpret_cast<wchar_t*>(buffer), size / sizeof(wchar_t));
      line.add(L"value", value);
      result = TRUE;
    }
  }
  return answeredBool(line, result, true);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) {
    // What the process still holds as it ends: a leak shows as a count that grows.
    if (!environment(L"TARNWICK_SIMPNP_EXIT_LOG").empty()) {
      LogLine(L"exit")
          .add(L"command_line", GetCommandLineW())
          .add(L"handles", std::to_wstring(testonly::handleCount(GetCurrentProcessId())))
          .add(L"result", L"0")
          .write();
    }
    return TRUE;
  }
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  const std::wstring argument = environment(L"TARNWICK_SIMPNP_HOLD_ARGUMENT");
  const std::wstring file = environment(L"TARNWICK_SIMPNP_HOLD_FILE");
  const std::wstring commandLine = GetCommandLineW();
  if (argument.empty() || file.empty() || commandLine.find(argument) == std::wstring::npos) {
    return TRUE;
  }
  LogLine(L"hold").add(L"command_line", commandLine).add(L"result", L"0").write();
  for (int waited = 0; waited < 120000 && !DeleteFileW(file.c_str()); waited += 50) {
    Sleep(50);
  }
  return TRUE;
}

}  // extern "C"
