// The local clock and the times of files.
#include "os/fault.h"
#include "os/times.h"
#include "os/win32/windows_fwd.h"

namespace os {

using win32::CheckHandle;
using win32::ToFiletime;
using win32::ToNative;

LocalTime GetLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
          now.wMilliseconds};
}

bool GetFileTimes(Handle file, FileTime* creation, FileTime* last_access,
                  FileTime* last_write) {
  return GetFileSizeAndTimes(file, nullptr, creation, last_access, last_write);
}

bool GetFileSizeAndTimes(Handle file, std::uint64_t* size, FileTime* creation,
                         FileTime* last_access, FileTime* last_write) {
  BY_HANDLE_FILE_INFORMATION info;
  if (FaultInjected(FileOp::kQuery) || !CheckHandle(file) ||
      !::GetFileInformationByHandle(ToNative(file), &info))
    return false;
  if (size) *size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  const FILETIME* times[3] = {&info.ftCreationTime, &info.ftLastAccessTime, &info.ftLastWriteTime};
  FileTime* outs[3] = {creation, last_access, last_write};
  for (int i = 0; i < 3; ++i)
    if (outs[i]) outs[i]->ticks = win32::FromFiletime(*times[i]);
  return true;
}

bool SetFileTimes(Handle file, const FileTime* creation,
                  const FileTime* last_access, const FileTime* last_write) {
  if (FaultInjected(FileOp::kSetTimes) || !CheckHandle(file)) return false;
  FILETIME c, a, w;
  if (creation) c = ToFiletime(*creation);
  if (last_access) a = ToFiletime(*last_access);
  if (last_write) w = ToFiletime(*last_write);
  return ::SetFileTime(ToNative(file), creation ? &c : nullptr,
                       last_access ? &a : nullptr, last_write ? &w : nullptr);
}

}  // namespace os
