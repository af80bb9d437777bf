#include "writer.h"

#include <algorithm>

namespace declgen {

namespace {

constexpr const char* kEol = "\r\n";

std::string MemberLine(const Member& member) {
    std::string line = "    " + member.name;
    if (member.count > 0) line += "(0 To " + std::to_string(member.count - 1) + ")";
    line += " As " + member.type;
    if (!member.comment.empty()) line += "  ' " + member.comment;
    return line;
}

struct Writer {
    std::string text;

    void Line(const std::string& line) { text += line + kEol; }

    void operator()(const ProcedureDeclaration& procedure) { Line(DeclareStatement(procedure)); }

    void operator()(const TypeDeclaration& type) {
        if (!type.sameAs.empty()) Line("' " + type.name + ": another name of " + type.sameAs);
        if (!type.layout.comment.empty()) Line("' " + type.name + ": " + type.layout.comment);
        Line("Type " + type.name);
        for (const Member& member : type.layout.members) Line(MemberLine(member));
        Line("End Type");
    }

    void operator()(const EnumDeclaration& enumeration) {
        Line("Enum " + enumeration.name);
        for (const auto& [name, value] : enumeration.members) Line("    " + name + " = " + value);
        Line("End Enum");
    }

    void operator()(const ConstDeclaration& constant) {
        Line("Const " + constant.name + " = " + constant.value);
    }
};

bool IsBlock(const Declaration& declaration) {
    return std::holds_alternative<TypeDeclaration>(declaration.item) ||
           std::holds_alternative<EnumDeclaration>(declaration.item);
}

}  // namespace

std::string DeclareStatement(const ProcedureDeclaration& procedure) {
    std::string text = std::string("Declare ") + (procedure.result.empty() ? "Sub " : "Function ") +
                       procedure.name + " Lib \"" + procedure.lib + "\" Alias \"" + procedure.entry + "\" (";
    for (std::size_t i = 0; i < procedure.parameters.size(); ++i) {
        const Parameter& parameter = procedure.parameters[i];
        if (i > 0) text += ", ";
        text += (parameter.byValue ? "ByVal " : "") + parameter.name + " As " + parameter.type;
    }
    text += ")";
    if (!procedure.result.empty()) text += " As " + procedure.result;
    return text;
}

std::string WriteDeclarations(const std::vector<std::string>& opening, std::vector<Declaration> declarations,
                              const std::vector<std::string>& files) {
    std::stable_sort(declarations.begin(), declarations.end(),
                     [](const Declaration& a, const Declaration& b) { return a.order < b.order; });
    Writer writer;
    for (const std::string& line : opening) writer.Line("' " + line);
    unsigned file = 0;
    bool afterBlock = false;
    for (const Declaration& declaration : declarations) {
        if (declaration.order.file != file) {
            file = declaration.order.file;
            writer.Line("");
            if (file >= 1 && file <= files.size()) writer.Line("' " + files[file - 1]);
        } else if (IsBlock(declaration) || afterBlock) {
            writer.Line("");
        }
        std::visit(writer, declaration.item);
        afterBlock = IsBlock(declaration);
    }
    return writer.text;
}

}  // namespace declgen
