#include "compare.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <set>

#include "vb_names.h"

namespace declgen {

namespace {

bool IsBuiltinType(const std::string& upper) {
    static const std::set<std::string> kBuiltin = {"LONG",   "INTEGER", "BYTE",     "STRING",  "ANY",
                                                   "SINGLE", "DOUBLE",  "CURRENCY", "BOOLEAN", "VARIANT",
                                                   "OBJECT", "DATE",    "LONGPTR",  "LONGLONG"};
    return kBuiltin.contains(upper);
}

std::string NormalLib(const std::string& lib) {
    std::string name = Upper(lib);
    if (name.ends_with(".DLL")) name.resize(name.size() - 4);
    return name;
}

long long RoundUp(long long value, long long align) { return (value + align - 1) / align * align; }

// Sizes beyond this are no structure's; capping them keeps the sums from overflowing.
constexpr long long kLargestSize = 1LL << 48;

// Bytes of `count` elements (0: a single one) of `element` bytes; nothing when
// either is no size or the product is too large to be one.
std::optional<long long> Times(long long element, long long count) {
    long long bytes = 0;
    if (element < 0 || count < 0 || __builtin_mul_overflow(element, std::max(count, 1LL), &bytes) ||
        bytes > kLargestSize)
        return std::nullopt;
    return bytes;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A type as the class of a difference names it: structures are "Type".
std::string Shape(bool byValue, const std::string& type) {
    if (type.empty()) return "(Sub)";
    return std::string(byValue ? "ByVal " : "") + (IsBuiltinType(Upper(type)) ? type : "Type");
}

std::string Signature(const VbDeclare& declare) {
    std::string text = "(";
    for (const VbParameter& parameter : declare.parameters)
        text +=
            (text.size() > 1 ? ", " : "") + std::string(parameter.byValue ? "ByVal " : "") + parameter.type;
    return text + ")" + (declare.result.empty() ? "" : " As " + declare.result);
}

class Classes {
public:
    void Add(const std::string& name, const std::string& example, bool referenceWrong = false) {
        DifferenceClass& entry = classes_[name];
        entry.name = name;
        entry.referenceWrong = referenceWrong;
        entry.examples.push_back(example);
    }
    std::vector<DifferenceClass> Sorted() const {
        std::vector<DifferenceClass> sorted;
        for (const auto& [name, entry] : classes_) sorted.push_back(entry);
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a.examples.size() > b.examples.size(); });
        return sorted;
    }

private:
    std::map<std::string, DifferenceClass> classes_;
};

// A member as compared: its type and element count ("String * n" evaluated, one
// element the same as none) and whether its bounds were written "(n)".
struct MemberShape {
    std::string name;
    std::string type;
    long long count = 0;
    bool singleBound = false;
    bool SameAs(const MemberShape& other) const { return type == other.type && count == other.count; }
    std::string Text() const {
        return name + " " + (count > 0 ? type + "(" + std::to_string(count) + ")" : type);
    }
    std::string Class() const {
        if (type.starts_with("STRING * ")) return "String * n";
        const std::string base = IsBuiltinType(type) ? type : "Type";
        return count > 0 ? base + " array" : base;
    }
};

// The members of one file's Types, and the members of nested Types in their place
// where a comparison needs them (SIZEL against SIZE, LARGE_INTEGER against two
// Longs).
class MemberLists {
public:
    explicit MemberLists(const DeclarationFile& file) : evaluator_(file) {
        for (const VbType& type : file.types) types_.emplace(Upper(type.name), &type);
        for (const VbEnum& enumeration : file.enums) enums_.insert(Upper(enumeration.name));
    }

    // Visual Basic's size of a Type (members aligned to their size, at most 4);
    // nothing when a member's size is unknown or the sum is no size at all.
    std::optional<long long> Size(const VbType& type, int depth = 0) const {
        long long size = 0, align = 1;
        for (const MemberShape& member : Members(type)) {
            std::optional<long long> bytes;
            long long alignment = 4;  // of a nested Type: an upper bound is enough to tell sizes apart
            if (member.type.starts_with("STRING * ")) {
                bytes = std::atoll(member.type.c_str() + 9);
                alignment = 1;
            } else if (const auto builtin = BuiltinSize(member.type)) {
                bytes = *builtin;
                alignment = std::min(*builtin, 4LL);
            } else if (const VbType* nested = Find(member.type); nested != nullptr && depth < 16) {
                bytes = Size(*nested, depth + 1);
            }
            const auto total = bytes ? Times(*bytes, member.count) : std::nullopt;
            if (!total) return std::nullopt;
            size = RoundUp(size, alignment) + *total;
            if (size > kLargestSize) return std::nullopt;
            align = std::max(align, alignment);
        }
        return RoundUp(size, align);
    }

    const VbType* Find(const std::string& name) const {
        const auto found = types_.find(Upper(name));
        return found == types_.end() ? nullptr : found->second;
    }

    std::deque<MemberShape> Members(const VbType& type, const std::string& prefix = "") const {
        std::deque<MemberShape> shapes;
        for (const VbMember& member : type.members) {
            MemberShape shape{prefix + member.name, Upper(member.type), 0, false};
            if (const std::size_t star = shape.type.find('*'); star != std::string::npos) {
                const auto length = evaluator_.Evaluate(member.type.substr(star + 1));
                shape.type =
                    "STRING * " + (length && !length->isString ? std::to_string(length->number) : "?");
            }
            if (!member.bounds.empty()) {
                shape.count = ElementCount(member.bounds, evaluator_).value_or(-1);
                shape.singleBound = Upper(member.bounds).find(" TO ") == std::string::npos &&
                                    member.bounds.find(',') == std::string::npos;
            }
            if (shape.count == 1) shape.count = 0;
            if (enums_.contains(shape.type)) shape.type = "LONG";  // an Enum is stored as a Long
            shapes.push_back(shape);
        }
        return shapes;
    }

    // Bytes a member takes; nothing when its type or size is unknown.
    std::optional<long long> Bytes(const MemberShape& member) const {
        std::optional<long long> element;
        if (member.type.starts_with("STRING * ")) {
            element = std::atoll(member.type.c_str() + 9);
        } else if (const auto builtin = BuiltinSize(member.type)) {
            element = *builtin;
        } else if (const VbType* nested = Find(member.type)) {
            element = Size(*nested);
        }
        return element ? Times(*element, member.count) : std::nullopt;
    }

    // Replaces a leading member of a nested Type by that Type's members.
    bool Expand(std::deque<MemberShape>& shapes) const {
        const MemberShape front = shapes.front();
        const VbType* nested = Find(front.type);
        if (nested == nullptr || front.count < 0) return false;
        // Expanded members are counted, so that arrays of arrays of Types cannot
        // fill the memory.
        const std::deque<MemberShape> inner = Members(*nested, front.name + ".");
        const long long copies = std::max(front.count, 1LL);
        const long long budget = kExpansionLimit - expansions_;
        if (!inner.empty() && copies > budget / static_cast<long long>(inner.size())) return false;
        expansions_ += copies * static_cast<long long>(inner.size());
        shapes.pop_front();
        for (long long i = copies; i > 0; --i) shapes.insert(shapes.begin(), inner.begin(), inner.end());
        return true;
    }

private:
    static std::optional<long long> BuiltinSize(const std::string& type) {
        static const std::map<std::string, long long> kSizes = {
            {"BYTE", 1},   {"INTEGER", 2}, {"BOOLEAN", 2},  {"LONG", 4}, {"SINGLE", 4},
            {"STRING", 4}, {"DOUBLE", 8},  {"CURRENCY", 8}, {"DATE", 8}, {"VARIANT", 16}};
        const auto found = kSizes.find(type);
        return found == kSizes.end() ? std::nullopt : std::optional<long long>(found->second);
    }

    ConstantEvaluator evaluator_;
    std::map<std::string, const VbType*> types_;
    std::set<std::string> enums_;
    static constexpr long long kExpansionLimit = 1000000;
    mutable long long expansions_ = 0;
};

std::string LastName(const std::string& name) { return Upper(name.substr(name.rfind('.') + 1)); }

// What a walk over two member lists found.
struct MemberDifference {
    bool boundTooLarge = false;  // "(n)" declared n + 1 elements where C has n
    bool sameSizeOther = false;  // a member of the same size but another type
    bool otherSize = false;      // a member of another size: the walk stopped there
    bool grown = false;          // the generated Type goes on where the reference ends, names agreeing
    bool shorter = false;        // either list ended first (grown or not)
    std::string difference;      // the class of the first real difference
    std::string example;
    bool Same() const { return !boundTooLarge && !sameSizeOther && !otherSize && !shorter; }
};

MemberDifference CompareMembers(std::deque<MemberShape> theirs, const MemberLists& theirLists,
                                std::deque<MemberShape> ours, const MemberLists& ourLists) {
    MemberDifference result;
    bool namesAgree = true;
    auto note = [&](const MemberShape& a, const MemberShape& b) {
        if (!result.difference.empty()) return;
        result.difference =
            "member " + a.Class() + " -> " + (a.Class() == b.Class() ? "another " : "") + b.Class();
        result.example = a.Text() + " -> " + b.Text();
    };
    while (!theirs.empty() && !ours.empty()) {
        const MemberShape &a = theirs.front(), &b = ours.front();
        // "(n)" declares n + 1 elements; a C array of n has one fewer.
        const bool oneTooMany = a.singleBound && a.type == b.type && a.count == std::max(b.count, 1LL) + 1;
        if (a.SameAs(b) || oneTooMany) {
            if (oneTooMany && !result.boundTooLarge && result.difference.empty())
                result.example = a.Text() + " -> " + b.Text();
            result.boundTooLarge = result.boundTooLarge || oneTooMany;
        } else if (theirLists.Expand(theirs) || ourLists.Expand(ours)) {
            continue;
        } else if (theirLists.Bytes(a) && theirLists.Bytes(a) == ourLists.Bytes(b)) {
            result.sameSizeOther = true;
            note(a, b);
        } else {
            result.otherSize = true;
            note(a, b);
            return result;
        }
        namesAgree = namesAgree && LastName(a.name) == LastName(b.name);
        theirs.pop_front();
        ours.pop_front();
    }
    result.shorter = !theirs.empty() || !ours.empty();
    result.grown = theirs.empty() && !ours.empty() && namesAgree;
    if (result.shorter && result.difference.empty())
        result.example = theirs.empty() ? ours.front().Text() + " added" : theirs.front().Text() + " missing";
    return result;
}

class Comparison {
public:
    Comparison(const DeclarationFile& reference, const DeclarationFile& generated)
        : reference_(reference),
          generated_(generated),
          theirTypes_(reference),
          ourTypes_(generated),
          theirValues_(reference),
          ourValues_(generated) {}

    void Procedures(ComparisonReport& report);
    void Constants(ComparisonReport& report);
    void Structures(ComparisonReport& report);
    Classes classes;

private:
    const VbDeclare* FindProcedure(const VbDeclare& declare, bool& referenceWrong) const;
    bool SameType(const VbParameter& theirs, const VbParameter& ours) const;

    const DeclarationFile& reference_;
    const DeclarationFile& generated_;
    MemberLists theirTypes_, ourTypes_;
    ConstantEvaluator theirValues_, ourValues_;
    std::map<std::string, const VbDeclare*> byEntry_;
};

const VbDeclare* Comparison::FindProcedure(const VbDeclare& declare, bool& referenceWrong) const {
    const std::string entry = Upper(declare.entry);
    if (const auto found = byEntry_.find(entry); found != byEntry_.end()) return found->second;
    // The wide entry point of a generic name, which the plug-in's wide option reaches.
    if (entry.ends_with('W')) {
        const auto found = byEntry_.find(entry.substr(0, entry.size() - 1) + "A");
        if (found != byEntry_.end()) return found->second;
    }
    const auto trimmed = byEntry_.find(Trim(entry));
    if (trimmed == byEntry_.end()) return nullptr;
    referenceWrong = true;
    return trimmed->second;
}

// Equal names, or a Type the generated list also declares under the reference's
// name with the same members (CRITICAL_SECTION and RTL_CRITICAL_SECTION).
bool Comparison::SameType(const VbParameter& theirs, const VbParameter& ours) const {
    if (theirs.byValue != ours.byValue) return false;
    if (Upper(theirs.type) == Upper(ours.type)) return true;
    const VbType* alias = ourTypes_.Find(theirs.type);
    const VbType* mine = ourTypes_.Find(ours.type);
    return alias != nullptr && mine != nullptr &&
           CompareMembers(ourTypes_.Members(*alias), ourTypes_, ourTypes_.Members(*mine), ourTypes_).Same();
}

void Comparison::Procedures(ComparisonReport& report) {
    for (const VbDeclare& declare : generated_.declares) byEntry_.emplace(Upper(declare.entry), &declare);
    std::set<std::string> referenceEntries;
    Target found{"procedures generated (same entry point)", 0, 0, 0, 95},
        sameDll{"  with the same DLL", 0, 0, 0, 97},
        sameCount{"  with the same number of parameters", 0, 0, 0, 98},
        sameSignature{"  with the same Visual Basic signature", 0, 0, 0, 85};
    for (const VbDeclare& declare : reference_.declares) {
        ++found.of;
        referenceEntries.insert(Upper(declare.entry));
        referenceEntries.insert(Upper(Trim(declare.entry)));
        const std::string description = declare.name + " (" + declare.lib + " \"" + declare.entry + "\")";
        bool blanks = false;
        const VbDeclare* match = FindProcedure(declare, blanks);
        if (match == nullptr) {
            classes.Add("procedure not generated", description);
            continue;
        }
        const VbDeclare& mine = *match;
        if (blanks) {
            ++found.referenceWrong;
            classes.Add("reference alias with blanks around the entry name", description, true);
        } else {
            ++found.same;
        }
        ++sameDll.of, ++sameCount.of, ++sameSignature.of;
        if (NormalLib(declare.lib) == NormalLib(mine.lib)) {
            ++sameDll.same;
        } else {
            classes.Add("procedure in another DLL", description + " -> " + mine.lib);
        }
        const std::string change = declare.name + Signature(declare) + " -> " + Signature(mine);
        if (declare.parameters.size() != mine.parameters.size()) {
            classes.Add("procedure with another number of parameters", change);
            continue;
        }
        ++sameCount.same;
        std::set<std::string> differences;
        if (Upper(declare.result) != Upper(mine.result))
            differences.insert("result " + Shape(false, declare.result) + " -> " + Shape(false, mine.result));
        for (std::size_t i = 0; i < declare.parameters.size(); ++i) {
            const VbParameter &theirs = declare.parameters[i], &ours = mine.parameters[i];
            if (SameType(theirs, ours)) continue;
            const std::string a = Shape(theirs.byValue, theirs.type), b = Shape(ours.byValue, ours.type);
            differences.insert("parameter " + a + " -> " + (a == b ? "another Type" : b));
        }
        if (differences.empty()) ++sameSignature.same;
        for (const std::string& difference : differences) classes.Add(difference, change);
    }
    report.referenceProcedures = found.of;
    report.generatedProcedures = static_cast<int>(generated_.declares.size());
    for (const VbDeclare& declare : generated_.declares)
        if (!referenceEntries.contains(Upper(declare.entry))) ++report.newProcedures;
    report.targets.insert(report.targets.end(), {found, sameDll, sameCount, sameSignature});
}

void Comparison::Constants(ComparisonReport& report) {
    std::set<std::string> generatedNames, referenceNames;
    for (const VbConstant& constant : generated_.constants) generatedNames.insert(Upper(constant.name));
    for (const VbEnum& enumeration : generated_.enums)
        for (const VbConstant& member : enumeration.members) generatedNames.insert(Upper(member.name));
    Target same{"constants with the same value", 0, 0, 0, 85};
    const auto bits = [](std::int64_t value) { return static_cast<std::uint32_t>(value); };
    for (const VbConstant& constant : reference_.constants) {
        ++same.of;
        referenceNames.insert(Upper(constant.name));
        const std::string example = constant.name + " = " + constant.expression;
        if (!generatedNames.contains(Upper(constant.name))) {
            classes.Add("constant not generated", example);
            continue;
        }
        const auto expected = theirValues_.ValueOf(constant.name);
        const auto actual = ourValues_.ValueOf(constant.name);
        if (!expected || !actual) {
            classes.Add("constant whose value cannot be computed", example);
            continue;
        }
        if (expected->isString == actual->isString &&
            (expected->isString ? expected->text == actual->text
                                : bits(expected->number) == bits(actual->number))) {
            ++same.same;
            continue;
        }
        char ours[24];
        std::snprintf(ours, sizeof ours, "&H%X", bits(actual->number));
        const std::string change = example + " -> " + (actual->isString ? "\"" + actual->text + "\"" : ours);
        // &H8000 to &HFFFF without "&" are negative Integers; C's values are positive.
        const bool integerHex = !expected->isString && !actual->isString && expected->number < 0 &&
                                expected->number >= -32768 && actual->number == (expected->number & 0xFFFF);
        if (integerHex) {
            ++same.referenceWrong;
            classes.Add("reference hex value from &H8000 to &HFFFF without &", change, true);
        } else {
            classes.Add("constant with another value", change);
        }
    }
    report.referenceConstants = same.of;
    report.generatedConstants = static_cast<int>(generatedNames.size());
    for (const std::string& name : generatedNames)
        if (!referenceNames.contains(name)) ++report.newConstants;
    report.targets.push_back(same);
}

void Comparison::Structures(ComparisonReport& report) {
    std::set<std::string> referenceNames;
    Target same{"structures with the same members", 0, 0, 0, 85};
    for (const VbType& type : reference_.types) {
        ++same.of;
        referenceNames.insert(Upper(type.name));
        const VbType* mine = ourTypes_.Find(type.name);
        if (mine == nullptr) {
            classes.Add("structure not generated", type.name);
            continue;
        }
        const MemberDifference found =
            CompareMembers(theirTypes_.Members(type), theirTypes_, ourTypes_.Members(*mine), ourTypes_);
        // The generated Type has the C structure's size; a reference Type of another
        // size that later versions did not extend does not fit the structure.
        const auto theirSize = theirTypes_.Size(type), ourSize = ourTypes_.Size(*mine);
        const std::string example = type.name + "." + found.example;
        if (found.Same()) {
            ++same.same;
        } else if (found.grown) {
            classes.Add("structure extended by later Windows versions", example);
        } else if (found.boundTooLarge && found.difference.empty() && !found.shorter) {
            ++same.referenceWrong;
            classes.Add("reference array bound (n) with n + 1 elements where C has n", example, true);
        } else if (theirSize && ourSize && *theirSize != *ourSize) {
            ++same.referenceWrong;
            classes.Add("reference Type of another size than the C structure",
                        type.name + ": " + std::to_string(*theirSize) + " bytes -> " +
                            std::to_string(*ourSize) + " (" + found.example + ")",
                        true);
        } else if (!found.difference.empty()) {
            classes.Add(found.difference, example);
        } else {
            classes.Add("structure with more or fewer members", example);
        }
    }
    report.referenceStructures = same.of;
    report.generatedStructures = static_cast<int>(generated_.types.size());
    for (const VbType& type : generated_.types)
        if (!referenceNames.contains(Upper(type.name))) ++report.newStructures;
    report.targets.push_back(same);
}

}  // namespace

bool ComparisonReport::TargetsMet() const {
    return std::all_of(targets.begin(), targets.end(), [](const Target& target) { return target.Met(); });
}

ComparisonReport Compare(const DeclarationFile& reference, const DeclarationFile& generated) {
    ComparisonReport report;
    Comparison comparison(reference, generated);
    comparison.Procedures(report);
    comparison.Constants(report);
    comparison.Structures(report);
    report.classes = comparison.classes.Sorted();
    return report;
}

std::string FormatReport(const ComparisonReport& report, bool everyExample) {
    std::string text;
    char line[512];
    std::snprintf(line, sizeof line, "%-44s %9s %9s\n", "", "reference", "generated");
    text += line;
    const std::pair<const char*, std::pair<int, int>> totals[] = {
        {"procedures", {report.referenceProcedures, report.generatedProcedures}},
        {"constants (and enumeration members)", {report.referenceConstants, report.generatedConstants}},
        {"structures", {report.referenceStructures, report.generatedStructures}}};
    for (const auto& [label, counts] : totals) {
        std::snprintf(line, sizeof line, "%-44s %9d %9d\n", label, counts.first, counts.second);
        text += line;
    }
    std::snprintf(line, sizeof line, "\n%-44s %6s %9s %6s %7s %7s\n", "target", "same", "ref wrong", "of",
                  "%", "minimum");
    text += line;
    for (const Target& target : report.targets) {
        std::snprintf(line, sizeof line, "%-44s %6d %9d %6d %6.1f%% %6.0f%%%s\n", target.label.c_str(),
                      target.same, target.referenceWrong, target.of, target.Percent(), target.minimum,
                      target.Met() ? "" : "  MISSED");
        text += line;
    }
    std::snprintf(line, sizeof line,
                  "\ngenerated, not in the reference: %d procedures, %d structures, %d constants\n",
                  report.newProcedures, report.newStructures, report.newConstants);
    text += line;
    text += std::string("\ndifferences by class (count, class: ") +
            (everyExample ? "examples" : "first example") + "; * the reference's mistake)\n";
    for (const DifferenceClass& entry : report.classes) {
        std::snprintf(line, sizeof line, "%6zu %s%s: ", entry.examples.size(),
                      entry.referenceWrong ? "*" : " ", entry.name.c_str());
        text += line;
        if (!everyExample) {
            text += entry.examples.front() + "\n";
            continue;
        }
        text += "\n";
        for (const std::string& example : entry.examples) text += "         " + example + "\n";
    }
    return text;
}

}  // namespace declgen
