#include "generate.h"

#include <cerrno>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <stdexcept>

#include "constants.h"
#include "file_io.h"
#include "import_libraries.h"
#include "layout.h"
#include "records.h"
#include "type_mapping.h"
#include "vb_names.h"
#include "writer.h"

namespace declgen {

namespace {

std::string CallingConventionName(CXCallingConv convention) {
    switch (convention) {
        case CXCallingConv_C:
            return "cdecl";
        case CXCallingConv_X86FastCall:
            return "fastcall";
        case CXCallingConv_X86ThisCall:
            return "thiscall";
        default:
            return "other calling convention";
    }
}

// Names declared once in the list, whatever their case.
class GlobalNames {
public:
    bool Claim(const std::string& name) { return taken_.insert(Upper(name)).second; }

private:
    std::set<std::string> taken_;
};

class Generator {
public:
    Generator(const GenerateSettings& settings, const Headers& headers, const ImportLibraries& libraries)
        : settings_(settings),
          headers_(headers),
          libraries_(libraries),
          records_(headers),
          mapper_(records_),
          layouts_(records_) {
        for (const clang::Cursor& function : headers.Functions()) {
            functionNames_.insert(function.Spelling());
            for (const Export& candidate : libraries.Candidates(function.Spelling()))
                ++dllVotes_[{headers.OrderOf(function).file, LibName(candidate.dll)}];
        }
        for (const clang::Cursor& macro : headers.Macros()) macroNames_.insert(macro.Spelling());
        for (const std::string& name : settings.only) only_.insert(Upper(name));
    }

    void Procedures();
    void Structures();
    void Enumerations();
    void Constants(const MacroOutcome& macros);
    std::vector<std::string> UnknownOnly() const;

    std::vector<Declaration> declarations;
    Summary summary;

private:
    bool Wanted(const std::string& vbName, const std::string& cName) {
        if (only_.empty()) return true;
        for (const std::string& name : {vbName, cName}) {
            if (!only_.contains(Upper(name))) continue;
            found_.insert(Upper(name));
            return true;
        }
        return false;
    }
    void LeaveOut(const std::string& reason) { ++summary.leftOut[reason]; }
    // The generic name of an ANSI function whose wide twin and generic macro exist
    // (MessageBoxA -> MessageBox); empty for others.
    std::string GenericName(const std::string& name) const;
    bool IsWideTwin(const std::string& name) const;
    const Export* ExportOf(const clang::Cursor& function) const;

    const GenerateSettings& settings_;
    const Headers& headers_;
    const ImportLibraries& libraries_;
    Records records_;
    TypeMapper mapper_;
    LayoutBuilder layouts_;
    std::set<std::string> functionNames_, macroNames_, only_, found_;
    // (header, DLL) -> how many of the header's functions that DLL exports.
    std::map<std::pair<unsigned, std::string>, int> dllVotes_;
    GlobalNames names_;
};

std::string Generator::GenericName(const std::string& name) const {
    if (!name.ends_with('A')) return {};
    const std::string base = name.substr(0, name.size() - 1);
    const bool generic =
        functionNames_.contains(base + "W") && macroNames_.contains(base) && !functionNames_.contains(base);
    return generic ? base : std::string();
}

bool Generator::IsWideTwin(const std::string& name) const {
    return name.ends_with('W') && !GenericName(name.substr(0, name.size() - 1) + "A").empty();
}

// Several DLLs may export one function: a DLL of its own before an API set, then
// the DLL that exports the most functions of the function's header (shlwapi.dll
// for shlwapi.h, though shcore.dll has some of them too; winspool.drv, not the
// spooler's spoolss.dll), then the library read first.
const Export* Generator::ExportOf(const clang::Cursor& function) const {
    const unsigned file = headers_.OrderOf(function).file;
    const auto rank = [&](const Export& candidate) {
        const auto votes = dllVotes_.find({file, LibName(candidate.dll)});
        return std::pair(ImportPreference(candidate), -(votes == dllVotes_.end() ? 0 : votes->second));
    };
    const Export* best = nullptr;
    for (const Export& candidate : libraries_.Candidates(function.Spelling()))
        if (best == nullptr || rank(candidate) < rank(*best)) best = &candidate;
    return best;
}

void Generator::Procedures() {
    for (const clang::Cursor& function : headers_.Functions()) {
        const std::string cName = function.Spelling();
        const std::string generic = GenericName(cName);
        const std::string vbName = generic.empty() ? VbIdentifier(cName) : generic;
        if (!Wanted(vbName, cName)) continue;
        const clang::Type type = function.GetType().Canonical();
        const Export* exported = ExportOf(function);
        if (type.Kind() != CXType_FunctionProto) {
            LeaveOut("function without prototype");
        } else if (type.IsVariadic()) {
            LeaveOut("variadic function");
        } else if (type.CallingConv() != CXCallingConv_X86StdCall) {
            LeaveOut(CallingConventionName(type.CallingConv()) + " function");
        } else if (exported == nullptr) {
            LeaveOut("stdcall function that no import library exports");
        } else if (IsWideTwin(cName) && only_.empty()) {
            LeaveOut("wide function written as its generic name's ANSI twin");
        } else {
            ProcedureDeclaration procedure{vbName, LibName(exported->dll), exported->entry, {}, {}};
            NameScope scope;
            std::string reason;
            bool mapped = true;
            for (const clang::Cursor& argument : function.Arguments()) {
                std::vector<Parameter> parameters;
                const std::string base = VbIdentifier(argument.Spelling());
                mapped = mapped && mapper_.MapParameter(base.empty() ? "Param" : base, argument.GetType(),
                                                        parameters, reason);
                for (Parameter& parameter : parameters) {
                    parameter.name = scope.Add(parameter.name, "Param");
                    procedure.parameters.push_back(std::move(parameter));
                }
            }
            const auto result = mapper_.MapResult(function.ResultType(), reason);
            int bytes = 0;
            for (const Parameter& parameter : procedure.parameters) bytes += parameter.stackBytes;
            if (!mapped || !result) {
                LeaveOut("stdcall function with a " + std::string(result ? "parameter" : "result") +
                         " Visual Basic cannot pass");
            } else if (bytes != exported->argumentBytes) {
                summary.byteMismatches.push_back(
                    cName + ": " + std::to_string(bytes) + " bytes, " +
                    (exported->argumentBytes < 0
                         ? "the import library names it without a byte count (" + exported->dll + ")"
                         : "the decorated name says " + std::to_string(exported->argumentBytes)));
                LeaveOut("stdcall function whose parameters differ from its decorated name");
            } else if (!names_.Claim(vbName)) {
                LeaveOut("procedure whose name is taken");
            } else {
                procedure.result = *result;
                declarations.push_back({headers_.OrderOf(function), std::move(procedure)});
                ++summary.procedures;
            }
        }
    }
}

void Generator::Structures() {
    // What the procedures need, the structures of their members in turn, and without
    // --only every other named structure of the Windows headers.
    std::set<const Record*> wanted(mapper_.UsedRecords().begin(), mapper_.UsedRecords().end());
    if (only_.empty()) {
        for (const Record& record : records_.All())
            if (record.kind == RecordKind::kStructure && !record.name.empty() && !record.runtimeHeader)
                wanted.insert(&record);
    }
    std::vector<const Record*> pending(wanted.begin(), wanted.end());
    while (!pending.empty()) {
        const Record* record = pending.back();
        pending.pop_back();
        for (const Record* used : layouts_.Layout(*record).uses)
            if (wanted.insert(used).second) pending.push_back(used);
    }
    for (const Record& record : records_.All()) {
        if (!wanted.contains(&record)) continue;
        const TypeLayout& layout = layouts_.Layout(record);
        if (layout.members.empty()) {
            LeaveOut("structure without members");
            continue;
        }
        for (const std::string& problem : layout.problems)
            summary.layoutProblems.push_back(record.name + ": " + problem);
        names_.Claim(record.name);
        declarations.push_back({record.order, TypeDeclaration{record.name, layout, {}}});
        ++summary.structures;
    }
    if (!only_.empty()) return;
    for (const RecordAlias& alias : records_.Aliases()) {
        if (!wanted.contains(alias.record) || layouts_.Layout(*alias.record).members.empty()) continue;
        if (!names_.Claim(alias.name)) {
            LeaveOut("structure name whose name is taken");
            continue;
        }
        declarations.push_back(
            {alias.order, TypeDeclaration{alias.name, layouts_.Layout(*alias.record), alias.record->name}});
        ++summary.structures;
    }
}

void Generator::Enumerations() {
    // Enumerations are named by their tag or by the first typedef naming them.
    std::map<std::string, std::string> typedefOf;
    for (const clang::Cursor& typedefDecl : headers_.Typedefs()) {
        const clang::Type canonical = typedefDecl.TypedefUnderlying().Canonical();
        if (canonical.Kind() == CXType_Enum)
            typedefOf.emplace(canonical.Declaration().Usr(), typedefDecl.Spelling());
    }
    std::set<std::string> done;
    for (const clang::Cursor& enumeration : headers_.Enums()) {
        if (headers_.InRuntimeHeader(enumeration) || !done.insert(enumeration.Usr()).second) continue;
        std::string name = enumeration.IsUntagged() ? std::string() : enumeration.Spelling();
        if (const auto found = typedefOf.find(enumeration.Usr()); found != typedefOf.end())
            name = found->second;
        name = VbIdentifier(name);
        EnumDeclaration declaration{name, {}};
        for (const clang::Cursor& constant : enumeration.Children()) {
            if (constant.Kind() != CXCursor_EnumConstantDecl) continue;
            const std::string member = VbIdentifier(constant.Spelling());
            const std::vector<clang::Token> tokens = constant.Tokens();
            const auto value = VbNumber(constant.EnumValue(), WrittenInHex(tokens, {}));
            if (!value) {
                LeaveOut("enumeration member beyond 32 bits");
            } else if (!names_.Claim(member)) {
                LeaveOut("constant whose name is taken");
            } else if (name.empty()) {
                declarations.push_back({headers_.OrderOf(constant), ConstDeclaration{member, *value}});
                ++summary.constants;
            } else {
                declaration.members.emplace_back(member, *value);
            }
        }
        if (name.empty()) continue;
        if (declaration.members.empty() || !names_.Claim(name)) {
            LeaveOut(declaration.members.empty() ? "enumeration without members"
                                                 : "enumeration whose name is taken");
            continue;
        }
        declarations.push_back({headers_.OrderOf(enumeration), std::move(declaration)});
        ++summary.enumerations;
    }
}

void Generator::Constants(const MacroOutcome& macros) {
    for (const auto& [reason, count] : macros.leftOut) summary.leftOut[reason] += count;
    for (const MacroValue& macro : macros.values) {
        const auto value = macro.isString ? VbString(macro.text) : VbNumber(macro.number, macro.hex);
        if (!value) {
            LeaveOut(macro.isString ? "string macro with control or non-ASCII characters"
                                    : "macro beyond 32 bits");
        } else if (!names_.Claim(macro.name)) {
            LeaveOut("constant whose name is taken");
        } else {
            declarations.push_back({macro.order, ConstDeclaration{macro.name, *value}});
            ++summary.constants;
        }
    }
}

std::vector<std::string> Generator::UnknownOnly() const {
    std::vector<std::string> unknown;
    for (const std::string& name : settings_.only)
        if (!found_.contains(Upper(name))) unknown.push_back(name);
    return unknown;
}

std::string DisplayName(const std::string& file, const std::string& includeDir) {
    std::string prefix = includeDir;
    if (!prefix.ends_with('/')) prefix += '/';
    return file.starts_with(prefix) ? file.substr(prefix.size()) : file;
}

void RequireDirectory(const std::string& directory) {
    if (std::error_code error; !std::filesystem::is_directory(directory, error))
        throw tools::FileError(directory, tools::ErrorText(error ? error.value() : ENOTDIR));
}

// The include directory and every header, named as missing before anything is
// parsed rather than as a compiler error.
void RequireHeaders(const ScanSettings& scan) {
    namespace fs = std::filesystem;
    RequireDirectory(scan.includeDir);
    for (const std::string& header : scan.headers) {
        const fs::path path =
            fs::path(header).is_absolute() ? fs::path(header) : fs::path(scan.includeDir) / header;
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (error || fs::is_directory(status))
            throw tools::FileError(header, tools::ErrorText(error ? error.value() : EISDIR));
    }
}

// The list from the headers and the import libraries, which `libraries` hands over
// once they are read (beside the first parse).
Generated Run(const GenerateSettings& settings, const std::function<const ImportLibraries&()>& libraries) {
    const Headers headers(settings.scan);
    if (const std::vector<std::string> errors = headers.Errors(); !errors.empty()) {
        std::string message = "the headers do not compile:";
        for (std::size_t i = 0; i < errors.size() && i < 10; ++i) message += "\n  " + errors[i];
        throw std::runtime_error(message);
    }
    // The second parse, for the macros' values, runs beside the rest.
    const MacroProbe probe(headers);
    std::future<MacroOutcome> macros;
    if (settings.only.empty()) macros = std::async(std::launch::async, [&] { return probe.Run(); });

    const ImportLibraries& imports = libraries();
    Generator generator(settings, headers, imports);
    generator.Procedures();
    generator.Structures();
    if (settings.only.empty()) {
        generator.Enumerations();
        generator.Constants(macros.get());
    }

    std::string headerList;
    for (const std::string& header : settings.scan.headers)
        headerList += (headerList.empty() ? "" : ", ") + header;
    char winver[16];
    std::snprintf(winver, sizeof winver, "0x%04X", settings.scan.winver);
    const std::vector<std::string> opening = {
        "Windows API declarations for Visual Basic (32-bit), generated by declgen " + settings.version,
        "from the mingw-w64 headers " + headerList,
        std::string("for Windows version ") + winver + " and the DLLs their import libraries name.",
    };
    std::vector<std::string> files;
    for (const std::string& file : headers.Files())
        files.push_back(DisplayName(file, settings.scan.includeDir));
    return {WriteDeclarations(opening, std::move(generator.declarations), files),
            std::move(generator.summary), generator.UnknownOnly()};
}

}  // namespace

std::vector<std::string> DefaultHeaders() {
    return {"winsock2.h",        "ws2tcpip.h", "windows.h", "commctrl.h", "commdlg.h",
            "shellapi.h",        "shlobj.h",   "shlwapi.h", "mmsystem.h", "mmreg.h",
            "winspool.h",        "wincrypt.h", "lm.h",      "imm.h",      "lzexpand.h",
            "winver.h",          "winnetwk.h", "wininet.h", "iphlpapi.h", "psapi.h",
            "tlhelp32.h",        "dwmapi.h",   "uxtheme.h", "userenv.h",  "wtsapi32.h",
            "shellscalingapi.h", "setupapi.h", "powrprof.h"};
}

Generated Generate(const GenerateSettings& settings) {
    RequireHeaders(settings.scan);
    RequireDirectory(settings.libsDir);
    std::vector<std::string> problems;
    auto reading = std::async(std::launch::async,
                              [&] { return ImportLibraries::ReadDirectory(settings.libsDir, problems); });
    std::optional<ImportLibraries> libraries;
    return Run(settings, [&]() -> const ImportLibraries& {
        libraries = reading.get();
        if (libraries->Size() == 0)
            throw std::runtime_error(settings.libsDir + ": no import libraries there" +
                                     (problems.empty() ? std::string() : " (" + problems.front() + ")"));
        return *libraries;
    });
}

Generated Generate(const GenerateSettings& settings, const ImportLibraries& libraries) {
    RequireHeaders(settings.scan);
    return Run(settings, [&]() -> const ImportLibraries& { return libraries; });
}

}  // namespace declgen
