#include "command_line.h"

namespace upgrade {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string TargetDirectory(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i < line.size() && line[i] == '"') {
        ++i;
        while (i < line.size() && line[i] != '"') ++i;
        if (i < line.size()) ++i;
    } else {
        while (i < line.size() && !IsBlank(line[i])) ++i;
    }
    while (i < line.size() && IsBlank(line[i])) ++i;
    std::string_view target = line.substr(i);
    if (target.size() >= 2 && target.front() == '"' && target.back() == '"') {
        target = target.substr(1, target.size() - 2);
    }
    return std::string(target);
}

}  // namespace upgrade
