// The declaration list in the notation of Visual Basic's own API declaration
// file: Declare, Type, Enum and Const statements in the editor's spelling, lines
// ending in CR LF.
#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "header_scan.h"
#include "layout.h"
#include "type_mapping.h"

namespace declgen {

struct ProcedureDeclaration {
    std::string name;
    std::string lib;
    std::string entry;
    std::vector<Parameter> parameters;
    std::string result;  // empty for a Sub
};

struct TypeDeclaration {
    std::string name;
    TypeLayout layout;
    std::string sameAs;  // the structure this one is another name of
};

struct EnumDeclaration {
    std::string name;
    std::vector<std::pair<std::string, std::string>> members;  // name, value
};

struct ConstDeclaration {
    std::string name;
    std::string value;
};

struct Declaration {
    SourceOrder order;
    std::variant<ProcedureDeclaration, TypeDeclaration, EnumDeclaration, ConstDeclaration> item;
};

// The whole file: the opening comment lines, then the declarations in order, with
// a comment naming the header wherever a new one begins.
std::string WriteDeclarations(const std::vector<std::string>& opening, std::vector<Declaration> declarations,
                              const std::vector<std::string>& files);

std::string DeclareStatement(const ProcedureDeclaration& procedure);

}  // namespace declgen
