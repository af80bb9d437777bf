#include "import_libraries.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include "file_io.h"

namespace declgen {

namespace {

constexpr std::uint16_t kMachineI386 = 0x14c;
constexpr std::uint8_t kStorageExternal = 2;
// mingw-w64's largest import library has a few megabytes.
constexpr std::uint64_t kArchiveLimit = 256ULL << 20;

// Little-endian reads that return nothing past the end, so that a damaged archive
// is skipped instead of read out of bounds.
class Bytes {
public:
    explicit Bytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::optional<std::uint32_t> U32(std::size_t at) const {
        if (at > bytes_.size() || bytes_.size() - at < 4) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value << 8 | bytes_[at + static_cast<std::size_t>(i)];
        return value;
    }
    std::optional<std::uint16_t> U16(std::size_t at) const {
        if (at > bytes_.size() || bytes_.size() - at < 2) return std::nullopt;
        return static_cast<std::uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
    }
    // Characters from `at` up to a NUL, the end, or `limit` characters.
    std::string Text(std::size_t at, std::size_t limit) const {
        std::string text;
        for (std::size_t i = at; i < bytes_.size() && i - at < limit && bytes_[i] != 0; ++i)
            text.push_back(static_cast<char>(bytes_[i]));
        return text;
    }
    std::size_t Size() const { return bytes_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
};

struct Section {
    std::string name;
    std::size_t data;
    std::size_t size;
};

struct Symbol {
    std::string name;
    int section;  // 1-based; 0 undefined
};

// The parts of one import object that matter here.
struct ImportObject {
    std::string thunk;     // `_Name@N`, defined in .text
    std::string entry;     // from .idata$6
    std::string headRef;   // `__head_...` it refers to
    std::string headDef;   // `__head_...` it defines (the head object)
    std::string inameRef;  // `..._iname` the head object refers to
    std::string inameDef;  // `..._iname` it defines (the tail object)
    std::string dll;       // .idata$7 of the tail object
};

std::optional<ImportObject> ReadObject(const Bytes& object) {
    const auto machine = object.U16(0);
    const auto sectionCount = object.U16(2);
    const auto symbolTable = object.U32(8);
    const auto symbolCount = object.U32(12);
    const auto optionalSize = object.U16(16);
    if (!machine || *machine != kMachineI386 || !sectionCount || !symbolTable || !symbolCount ||
        !optionalSize)
        return std::nullopt;
    const std::size_t strings = std::size_t{*symbolTable} + std::size_t{*symbolCount} * 18;
    auto longName = [&](std::size_t offset) { return object.Text(strings + offset, 4096); };

    std::vector<Section> sections;
    for (std::size_t i = 0; i < *sectionCount; ++i) {
        const std::size_t header = 20 + std::size_t{*optionalSize} + i * 40;
        const auto size = object.U32(header + 16);
        const auto data = object.U32(header + 20);
        if (!size || !data) return std::nullopt;
        std::string name = object.Text(header, 8);
        if (name.size() > 1 && name[0] == '/') name = longName(std::strtoul(name.c_str() + 1, nullptr, 10));
        sections.push_back({name, *data, *size});
    }
    auto sectionName = [&](int number) {
        return number >= 1 && static_cast<std::size_t>(number) <= sections.size()
                   ? sections[static_cast<std::size_t>(number) - 1].name
                   : std::string();
    };

    ImportObject result;
    for (std::uint32_t i = 0; i < *symbolCount; ++i) {
        const std::size_t entry = *symbolTable + std::size_t{i} * 18;
        const auto shortTag = object.U32(entry);
        const auto section = object.U16(entry + 12);
        const auto storage = object.U16(entry + 16);  // storage class, then the aux count
        if (!shortTag || !section || !storage) return std::nullopt;
        i += static_cast<std::uint32_t>(*storage >> 8);  // skip the auxiliary records
        if ((*storage & 0xff) != kStorageExternal) continue;
        const std::string name = *shortTag == 0 ? longName(*object.U32(entry + 4)) : object.Text(entry, 8);
        const int number = static_cast<std::int16_t>(*section);
        const std::string where = sectionName(number);
        const bool head = name.starts_with("__head_");
        const bool iname = name.ends_with("_iname");
        if (number == 0) {
            if (head) result.headRef = name;
            if (iname) result.inameRef = name;
        } else if (head) {
            result.headDef = name;
        } else if (iname && where == ".idata$7") {
            result.inameDef = name;
        } else if (where == ".text" && !name.starts_with("__imp_")) {
            result.thunk = name;
        }
    }
    for (const Section& section : sections) {
        if (section.name == ".idata$6" && section.size > 2)
            result.entry = object.Text(section.data + 2, section.size - 2);
        if (section.name == ".idata$7" && !result.inameDef.empty())
            result.dll = object.Text(section.data, section.size);
    }
    return result;
}

bool IsApiSet(const std::string& dll) {
    std::string lower = dll;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return lower.starts_with("api-ms-") || lower.starts_with("ext-ms-");
}

}  // namespace

bool ImportLibraries::AddArchive(std::span<const std::uint8_t> archive) {
    static constexpr std::string_view kMagic = "!<arch>\n";
    if (archive.size() < kMagic.size() || std::memcmp(archive.data(), kMagic.data(), kMagic.size()) != 0)
        return false;
    std::vector<ImportObject> objects;
    std::size_t at = kMagic.size();
    while (archive.size() - at >= 60) {
        const Bytes header(archive.subspan(at, 60));
        const unsigned long size = std::strtoul(header.Text(48, 10).c_str(), nullptr, 10);
        at += 60;
        if (size > archive.size() - at) break;
        if (auto object = ReadObject(Bytes(archive.subspan(at, size)))) objects.push_back(std::move(*object));
        at += size + (size & 1);
    }

    std::map<std::string, std::string> dllOfIname, inameOfHead;
    for (const ImportObject& object : objects) {
        if (!object.inameDef.empty()) dllOfIname[object.inameDef] = object.dll;
        if (!object.headDef.empty()) inameOfHead[object.headDef] = object.inameRef;
    }
    for (const ImportObject& object : objects) {
        if (object.thunk.empty() || object.entry.empty() || !object.thunk.starts_with('_')) continue;
        const auto head = inameOfHead.find(object.headRef);
        if (head == inameOfHead.end()) continue;
        const auto dll = dllOfIname.find(head->second);
        if (dll == dllOfIname.end() || dll->second.empty()) continue;

        std::string name = object.thunk.substr(1);
        int bytes = -1;
        const std::size_t at_sign = name.rfind('@');
        if (at_sign != std::string::npos && at_sign + 1 < name.size() &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(at_sign) + 1, name.end(),
                        [](unsigned char c) { return std::isdigit(c); })) {
            bytes = std::stoi(name.substr(at_sign + 1));
            name.resize(at_sign);
        }
        Add(name, {dll->second, object.entry, bytes});
    }
    return true;
}

ImportLibraries ImportLibraries::ReadDirectory(const std::string& directory,
                                               std::vector<std::string>& problems) {
    namespace fs = std::filesystem;
    std::vector<fs::path> paths;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with("lib") && name.ends_with(".a")) paths.push_back(it->path());
    }
    if (error) throw tools::FileError(directory, tools::ErrorText(error.value()));
    std::sort(paths.begin(), paths.end());

    ImportLibraries libraries;
    for (const fs::path& path : paths) {
        std::vector<std::uint8_t> bytes;
        try {
            bytes = tools::ReadWholeFile<std::vector<std::uint8_t>>(path.string(), kArchiveLimit);
        } catch (const tools::FileError& e) {
            problems.push_back(e.what());
            continue;
        }
        libraries.AddArchive(bytes);
    }
    return libraries;
}

int ImportPreference(const Export& exported) {
    return (IsApiSet(exported.dll) ? 2 : 0) + (exported.argumentBytes < 0 ? 1 : 0);
}

void ImportLibraries::Add(const std::string& name, const Export& exported) {
    std::vector<Export>& candidates = exports_[name];
    const bool known = std::any_of(candidates.begin(), candidates.end(), [&](const Export& candidate) {
        return LibName(candidate.dll) == LibName(exported.dll) && candidate.entry == exported.entry &&
               candidate.argumentBytes == exported.argumentBytes;
    });
    if (!known) candidates.push_back(exported);
}

const std::vector<Export>& ImportLibraries::Candidates(const std::string& name) const {
    static const std::vector<Export> kNone;
    const auto found = exports_.find(name);
    return found == exports_.end() ? kNone : found->second;
}

const Export* ImportLibraries::Find(const std::string& name) const {
    const Export* best = nullptr;
    for (const Export& candidate : Candidates(name))
        if (best == nullptr || ImportPreference(candidate) < ImportPreference(*best)) best = &candidate;
    return best;
}

std::string LibName(const std::string& dll) {
    std::string name = dll;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (name.ends_with(".dll")) name.resize(name.size() - 4);
    return name;
}

}  // namespace declgen
