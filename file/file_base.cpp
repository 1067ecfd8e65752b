// What a file kind that does not offer an operation answers.

#include "file/file_base.h"

int qvFileBase::Open(const char16_t*, std::uint32_t) { return 0; }
int qvFileBase::Close() { return 0; }
std::int32_t qvFileBase::Read(void*, std::uint32_t) { return -1; }
std::int32_t qvFileBase::Write(const void*, std::uint32_t) { return -1; }
std::int32_t qvFileBase::GetPosition() { return -1; }
std::int32_t qvFileBase::Seek(std::uint32_t) { return -1; }
const char16_t* qvFileBase::GetName(char16_t*, std::size_t) { return nullptr; }
std::uint32_t qvFileBase::GetSizeOf(const char16_t*) { return 0xFFFFFFFFu; }
std::int32_t qvFileBase::GetSize() { return -1; }
std::intptr_t qvFileBase::GetHandle() { return -1; }
int qvFileBase::Exists(const char16_t*) { return 0; }
std::uint32_t qvFileBase::GetAttributes(const char16_t*) { return 0xFFFFFFFFu; }
int qvFileBase::SetAttributes(const char16_t*, std::uint32_t) { return 0; }
int qvFileBase::Delete(const char16_t*, int) { return 0; }
