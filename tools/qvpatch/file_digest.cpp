#include "tools/qvpatch/file_digest.h"

#include "tools/common/utf.h"

bool HashTreeFile(TreeFiles* files, std::u16string_view relative, ProgressMeter* meter,
                  Sha256Digest* digest, std::uint64_t* size, std::string* error) {
  const os::Handle file = files->Open(relative);
  if (file == os::kInvalidHandle) {
    *error = "\"" + ToUtf8(relative) + "\" cannot be opened: " + LastErrorText();
    return false;
  }
  Sha256 hash;
  std::uint64_t count = 0;
  const bool ok = ReadChunks(file, [&](const std::uint8_t* bytes, std::size_t length) {
    hash.Update(bytes, length);
    count += length;
    meter->Advance(length, relative);
    return true;
  });
  if (!ok) *error = "\"" + ToUtf8(relative) + "\" cannot be read: " + LastErrorText();
  os::CloseFile(file);
  *digest = hash.Finish();
  *size = count;
  return ok;
}
