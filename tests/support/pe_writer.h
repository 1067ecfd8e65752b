// Writes minimal PE executables and libraries that carry a chosen version
// resource, valid enough for the system's own version reader (one
// resource section, proper alignments and sizes).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qvtest {

struct PeVersionLayout {
  bool has_resource = true;      // false: no resource directory at all
  bool has_translation = true;   // false: no "\VarFileInfo\Translation"
  std::uint16_t translation_length = 4;  // the value's stated length; 4 bytes follow
  bool dll = false;
  bool pe32plus = false;
  std::uint16_t language = 0x0411;
  std::uint16_t code_page = 0x04B0;
  // The string table's key; empty means the one the translation names.
  std::u16string table_key;
  std::vector<std::pair<std::u16string, std::u16string>> strings;
  std::uint16_t fixed_version[4] = {1, 0, 0, 0};
};

namespace pe_detail {

inline void Put16(std::string& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, std::size_t at, std::uint32_t v) {
  Put16(out, at, v & 0xFFFF);
  Put16(out, at + 2, v >> 16);
}
inline void Pad4(std::string& out) {
  while (out.size() % 4) out.push_back('\0');
}
inline void AppendText(std::string& out, const std::u16string& text) {
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  out.append(2, '\0');
}

// One block of a version tree; `value_length` is in units for texts.
inline std::string Block(const std::u16string& key, const std::string& value,
                         std::uint16_t value_length, bool text,
                         const std::vector<std::string>& children) {
  std::string out(6, '\0');
  AppendText(out, key);
  Pad4(out);
  out += value;
  for (const std::string& child : children) {
    Pad4(out);
    out += child;
  }
  Put16(out, 0, static_cast<std::uint32_t>(out.size()));
  Put16(out, 2, value_length);
  Put16(out, 4, text ? 1 : 0);
  return out;
}

inline std::string Hex8(std::uint32_t v) {
  static const char digits[] = "0123456789abcdef";
  std::string s(8, '0');
  for (int i = 7; i >= 0; --i, v >>= 4) s[i] = digits[v & 15];
  return s;
}

}  // namespace pe_detail

// The VS_VERSIONINFO tree alone.
inline std::string MakeVersionBlock(const PeVersionLayout& layout) {
  using namespace pe_detail;
  std::string fixed(52, '\0');
  Put32(fixed, 0, 0xFEEF04BD);
  Put32(fixed, 4, 0x00010000);
  const std::uint32_t ms = std::uint32_t{layout.fixed_version[0]} << 16 | layout.fixed_version[1];
  const std::uint32_t ls = std::uint32_t{layout.fixed_version[2]} << 16 | layout.fixed_version[3];
  Put32(fixed, 8, ms);
  Put32(fixed, 12, ls);
  Put32(fixed, 16, ms);
  Put32(fixed, 20, ls);
  Put32(fixed, 24, 0x3F);
  Put32(fixed, 32, 0x40004);
  Put32(fixed, 36, layout.dll ? 2 : 1);

  std::u16string key = layout.table_key;
  if (key.empty()) {
    for (char c : Hex8(std::uint32_t{layout.language} << 16 | layout.code_page)) key += c;
  }
  std::vector<std::string> strings;
  for (const auto& [name, value] : layout.strings) {
    std::string bytes;
    AppendText(bytes, value);
    strings.push_back(Block(name, bytes, static_cast<std::uint16_t>(value.size() + 1),
                            true, {}));
  }
  std::vector<std::string> children;
  children.push_back(Block(u"StringFileInfo", "", 0, true, {Block(key, "", 0, true, strings)}));
  if (layout.has_translation) {
    std::string translation(4, '\0');
    Put16(translation, 0, layout.language);
    Put16(translation, 2, layout.code_page);
    children.push_back(
        Block(u"VarFileInfo", "", 0, true,
              {Block(u"Translation", translation, layout.translation_length, false, {})}));
  }
  return Block(u"VS_VERSION_INFO", fixed, 52, false, children);
}

// A whole PE file (one ".rsrc" section at RVA 0x1000 when there is a resource).
inline std::string MakePeFile(const PeVersionLayout& layout) {
  using namespace pe_detail;
  constexpr std::uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000, kRva = 0x1000;
  const std::uint32_t optional_size = layout.pe32plus ? 240 : 224;
  const std::uint32_t pe = 0x40;

  // Resource section: type 16 -> name 1 -> language -> data entry -> data.
  std::string rsrc;
  if (layout.has_resource) {
    rsrc.assign(88, '\0');
    const std::uint32_t tables[3][2] = {{16, 0x80000000u | 24},
                                        {1, 0x80000000u | 48},
                                        {layout.language, 72}};
    for (int level = 0; level < 3; ++level) {
      const std::size_t at = 24 * level;
      Put16(rsrc, at + 14, 1);  // one id entry
      Put32(rsrc, at + 16, tables[level][0]);
      Put32(rsrc, at + 20, tables[level][1]);
    }
    const std::string block = MakeVersionBlock(layout);
    Put32(rsrc, 72, kRva + 88);
    Put32(rsrc, 76, static_cast<std::uint32_t>(block.size()));
    rsrc += block;
  }
  const std::uint32_t raw_size = static_cast<std::uint32_t>(
      (rsrc.size() + kFileAlign - 1) / kFileAlign * kFileAlign);
  const std::uint32_t virtual_size = static_cast<std::uint32_t>(
      (rsrc.size() + kSectionAlign - 1) / kSectionAlign * kSectionAlign);
  const int sections = layout.has_resource ? 1 : 0;

  std::string out(kFileAlign, '\0');
  out[0] = 'M';
  out[1] = 'Z';
  Put32(out, 0x3C, pe);
  out.replace(pe, 4, std::string("PE\0\0", 4));
  Put16(out, pe + 4, layout.pe32plus ? 0x8664 : 0x14C);
  Put16(out, pe + 6, sections);
  Put16(out, pe + 20, optional_size);
  std::uint32_t characteristics = layout.pe32plus ? 0x0022 : 0x0102;
  if (layout.dll) characteristics |= 0x2000;
  Put16(out, pe + 22, characteristics);

  const std::size_t opt = pe + 24;
  Put16(out, opt, layout.pe32plus ? 0x20B : 0x10B);
  out[opt + 2] = 10;
  Put32(out, opt + 8, raw_size);  // size of initialised data
  if (layout.pe32plus) {
    Put32(out, opt + 24, layout.dll ? 0x10000000 : 0x00400000);
    Put32(out, opt + 28, 0x1);  // image base 0x1'xxxxxxxx
  } else {
    Put32(out, opt + 28, layout.dll ? 0x10000000 : 0x00400000);
  }
  Put32(out, opt + 32, kSectionAlign);
  Put32(out, opt + 36, kFileAlign);
  Put16(out, opt + 40, 5);  // operating system 5.1
  Put16(out, opt + 42, 1);
  Put16(out, opt + 48, 5);  // subsystem 5.1
  Put16(out, opt + 50, 1);
  Put32(out, opt + 56, kSectionAlign + virtual_size);
  Put32(out, opt + 60, kFileAlign);
  Put16(out, opt + 68, 2);  // GUI
  const std::size_t sizes = opt + 72;
  const std::size_t step = layout.pe32plus ? 8 : 4;
  Put32(out, sizes, 0x100000);
  Put32(out, sizes + step, 0x1000);
  Put32(out, sizes + 2 * step, 0x100000);
  Put32(out, sizes + 3 * step, 0x1000);
  const std::size_t count = sizes + 4 * step + 4;
  Put32(out, count, 16);
  if (layout.has_resource) {
    Put32(out, count + 4 + 16, kRva);
    Put32(out, count + 4 + 20, static_cast<std::uint32_t>(rsrc.size()));

    const std::size_t section = opt + optional_size;
    out.replace(section, 6, ".rsrc\0", 6);
    Put32(out, section + 8, static_cast<std::uint32_t>(rsrc.size()));
    Put32(out, section + 12, kRva);
    Put32(out, section + 16, raw_size);
    Put32(out, section + 20, kFileAlign);
    Put32(out, section + 36, 0x40000040);
    rsrc.resize(raw_size, '\0');
    out += rsrc;
  }
  return out;
}

}  // namespace qvtest
