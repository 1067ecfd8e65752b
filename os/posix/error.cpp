// The thread's last error and the system's texts for error codes.
#include <cstring>
#include <string>

#include "os/error.h"
#include "os/posix/errno_map.h"
#include "os/posix/native_path.h"
#include "base/utf8.h"

namespace os {
namespace {

thread_local std::uint32_t last_error = kErrorSuccess;

struct ErrorText {
  std::uint32_t code;
  const char* text;
};

// The system's English texts for the codes this backend reports.
constexpr ErrorText kTexts[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {17, "The system cannot move the file to a different disk drive."},
    {18, "There are no more files."},
    {32, "The process cannot access the file because it is being used by another process."},
    {39, "The disk is full."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {145, "The directory is not empty."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {223, "The file size exceeds the limit allowed and cannot be saved."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {1004, "Invalid flags."},
    {1117, "The request could not be performed because of an I/O device error."},
};

std::string LookUp(std::uint32_t code) {
  for (const ErrorText& entry : kTexts)
    if (entry.code == code) return entry.text;
  if (code & posix::kErrnoCodeBit) return std::strerror(static_cast<int>(code & 0xFFFF));
  return {};
}

}  // namespace

std::uint32_t GetLastError() { return last_error; }
void SetLastError(std::uint32_t code) { last_error = code; }

std::uint32_t GetErrorText(std::uint32_t code, char16_t* out, std::uint32_t capacity) {
  std::string text = LookUp(code);
  if (text.empty()) {
    SetLastError(317);  // ERROR_MR_MID_NOT_FOUND, as FormatMessage reports it
    return 0;
  }
  text += "\r\n";
  return posix::CopyOut(::ToUtf16(text), out, capacity);
}

}  // namespace os
