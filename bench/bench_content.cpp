#include "bench_content.h"

#include <array>
#include <cstring>
#include <string_view>

namespace bench {
namespace {

constexpr std::array<std::string_view, 64> kWords = {
    "the",       "of",        "and",      "to",      "in",        "is",       "for",
    "that",      "with",      "on",       "as",      "by",        "this",     "file",
    "system",    "install",   "program",  "data",    "value",     "setting",  "user",
    "window",    "service",   "version",  "license", "agreement", "software", "copy",
    "provided",  "without",   "warranty", "any",     "kind",      "express",  "implied",
    "including", "but",       "not",      "limited", "component", "registry", "key",
    "folder",    "directory", "default",  "error",   "message",   "return",   "function",
    "object",    "string",    "number",   "table",   "record",    "package",  "product",
    "feature",   "update",    "server",   "client",  "network",   "driver",   "device",
    "resource"};

constexpr std::array<std::string_view, 12> kCodeLines = {
    "  if (result != ERROR_SUCCESS) return result;\n",
    "  for (int i = 0; i < count; ++i) {\n",
    "    buffer[i] = static_cast<char>(value >> (8 * i));\n",
    "  }\n",
    "  HRESULT hr = CoCreateInstance(CLSID_Object, nullptr, CLSCTX_ALL, IID_IUnknown, &ptr);\n",
    "#include <windows.h>\n",
    "static const wchar_t kKeyName[] = L\"Software\\\\Vendor\\\\Product\";\n",
    "  DWORD size = sizeof(data);\n",
    "  RegQueryValueExW(key, name, nullptr, &type, data, &size);\n",
    "}\n\n",
    "  // Copies the settings into the user's profile.\n",
    "  std::vector<std::wstring> names;\n"};

// Common x86 instruction byte sequences; a few immediate bytes follow some.
constexpr std::array<std::string_view, 24> kOpcodes = {
    "\x55",     "\x8B\xEC", "\x83\xEC", "\x53", "\x56",     "\x57",
    "\x8B\x45", "\x8B\x4D", "\x89\x45", "\xE8", "\x85\xC0", "\x74",
    "\x75",     "\x33\xC0", "\x5F",     "\x5E", "\x5B",     "\xC9",
    "\xC3",     "\xFF\x15", "\x6A\x00", "\x50", "\x8D\x45", "\xC2\x04\x00"};

constexpr std::array<std::string_view, 10> kImports = {
    "KERNEL32.dll", "CreateFileW", "ReadFile",     "WriteFile",     "CloseHandle",
    "USER32.dll",   "MessageBoxW", "ADVAPI32.dll", "RegOpenKeyExW", "GetProcAddress"};

void AppendText(std::string& out, std::size_t size, Random& random) {
  bool code = false;
  while (out.size() < size) {
    if (random.Below(40) == 0) code = !code;
    if (code) {
      out += kCodeLines[random.Below(kCodeLines.size())];
      continue;
    }
    int words = 6 + static_cast<int>(random.Below(12));
    for (int w = 0; w < words; ++w) {
      std::string_view word = kWords[random.Below(kWords.size())];
      out += word;
      out += w + 1 == words ? ".\n" : " ";
    }
    if (random.Below(8) == 0) out += std::to_string(random.Below(100000)) + "\n";
  }
  out.resize(size);
}

void AppendExecutable(std::string& out, std::size_t size, Random& random) {
  // A header with its stub, then mostly code, import names, tables of
  // addresses and zero padding between sections.
  out += "MZ\x90";
  out.append(57, '\0');
  out += "PE";
  out.append(0x200 - out.size() % 0x200, '\0');
  while (out.size() < size) {
    std::uint32_t part = random.Below(100);
    if (part < 70) {
      for (int i = 0; i < 256; ++i) {
        out += kOpcodes[random.Below(kOpcodes.size())];
        if (random.Below(3) == 0) out.push_back(static_cast<char>(random.Below(256)));
      }
    } else if (part < 80) {
      for (int i = 0; i < 16; ++i) {
        out += kImports[random.Below(kImports.size())];
        out.push_back('\0');
      }
    } else if (part < 92) {
      std::uint32_t base = 0x401000 + random.Below(0x10000) * 16;
      for (int i = 0; i < 64; ++i) {
        std::uint32_t address = base + random.Below(4096);
        char bytes[4];
        std::memcpy(bytes, &address, 4);
        out.append(bytes, 4);
      }
    } else {
      out.append(512 + random.Below(2048), '\0');
    }
  }
  out.resize(size);
}

void AppendCompressed(std::string& out, std::size_t size, Random& random) {
  while (out.size() < size) {
    std::uint64_t value = random.Next();
    char bytes[8];
    std::memcpy(bytes, &value, 8);
    out.append(bytes, 8);
  }
  out.resize(size);
}

}  // namespace

std::string MakeContent(ContentKind kind, std::size_t size, std::uint64_t seed) {
  Random random(seed);
  std::string out;
  out.reserve(size + 4096);
  switch (kind) {
    case ContentKind::kText:
      AppendText(out, size, random);
      break;
    case ContentKind::kExecutable:
      AppendExecutable(out, size, random);
      break;
    case ContentKind::kCompressed:
      AppendCompressed(out, size, random);
      break;
  }
  return out;
}

ContentKind KindOf(std::uint64_t index) {
  std::uint64_t slot = (index * 7 + 3) % 20;
  if (slot < 8) return ContentKind::kText;
  if (slot < 15) return ContentKind::kExecutable;
  return ContentKind::kCompressed;
}

const char* ExtensionOf(ContentKind kind, std::uint64_t index) {
  switch (kind) {
    case ContentKind::kText:
      return index % 3 == 0 ? "txt" : index % 3 == 1 ? "xml" : "h";
    case ContentKind::kExecutable:
      return index % 2 == 0 ? "dll" : "exe";
    case ContentKind::kCompressed:
      return index % 2 == 0 ? "cab" : "png";
  }
  return "bin";
}

}  // namespace bench
