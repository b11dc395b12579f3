// Test-only program: defines or removes a drive letter through Wine's mount
// manager, as Wine's own configuration tool does.
//   mount_drive.exe define LETTER UNIX_FOLDER TYPE   TYPE: fixed, removable or cdrom
//   mount_drive.exe remove LETTER
// Exit 0 on success. A letter only linked into the prefix's dosdevices folder
// after the mount manager started is unknown to it: such a drive's volume
// cannot be opened, so resolution would never get past its first step. A
// defined drive is a volume of the given type (fixed and removable drives are
// disks, cdrom drives are CD-ROM devices). Defining also makes the mount
// manager rewrite the drive's value under SYSTEM\MountedDevices, so a test
// writes its own value after this.
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <cwchar>

namespace {

// Wine's private mount manager interface (include/ddk/mountmgr.h in Wine 8).
constexpr DWORD kMountManagerType = 0x6D;
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(kMountManagerType, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDrive {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDevice;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};

ULONG driveType(const wchar_t* name) {
  if (!wcscmp(name, L"fixed")) return DRIVE_FIXED;
  if (!wcscmp(name, L"removable")) return DRIVE_REMOVABLE;
  if (!wcscmp(name, L"cdrom")) return DRIVE_CDROM;
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const bool define = !wcscmp(argv[1], L"define");
  if (!(define && argc >= 5) && wcscmp(argv[1], L"remove") != 0) return 2;

  alignas(8) char buffer[4096] = {};
  UnixDrive* drive = reinterpret_cast<UnixDrive*>(buffer);
  drive->letter = static_cast<WCHAR>(towlower(argv[2][0]));
  drive->size = sizeof(UnixDrive);
  if (define) {
    drive->type = driveType(argv[4]);
    if (drive->type == 0) return 2;
    // The mount point is a host path in the host's encoding.
    int n = WideCharToMultiByte(CP_UTF8, 0, argv[3], -1, buffer + sizeof(UnixDrive),
                                sizeof buffer - sizeof(UnixDrive), nullptr, nullptr);
    if (n <= 0) return 2;
    drive->mountPointOffset = sizeof(UnixDrive);
    drive->size = static_cast<ULONG>(sizeof(UnixDrive) + n);
  } else {
    drive->type = DRIVE_NO_ROOT_DIR;  // no mount point: the letter goes away
  }

  HANDLE manager =
      CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return 1;
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, buffer, drive->size, nullptr, 0, &returned,
                            nullptr);
  CloseHandle(manager);
  return ok ? 0 : 1;
}
