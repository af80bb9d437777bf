// A generated declaration list against a reference declaration file, declaration
// by declaration: procedures by entry point, constants and structures by name.
//
// Some differences are the reference's own mistakes that the comparison can tell
// by Visual Basic's rules alone: an alias with blanks around the entry name, a hex
// literal from &H8000 to &HFFFF without "&" (an Integer, so negative), an array
// bound "(n)" that declares n + 1 elements where the C array has n. Those count
// towards the targets as "reference wrong" and stand in classes of their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "declaration_file.h"

namespace declgen {

struct Target {
    std::string label;
    int same = 0;
    int referenceWrong = 0;
    int of = 0;
    double minimum = 0;  // percent
    double Percent() const { return of == 0 ? 100.0 : 100.0 * (same + referenceWrong) / of; }
    bool Met() const { return Percent() >= minimum; }
};

// Differences of one kind, with their examples in reference order.
struct DifferenceClass {
    std::string name;
    bool referenceWrong = false;
    std::vector<std::string> examples;
};

struct ComparisonReport {
    int referenceProcedures = 0, referenceConstants = 0, referenceStructures = 0;
    int generatedProcedures = 0, generatedConstants = 0, generatedStructures = 0;
    // Declarations of the generated list that the reference does not have.
    int newProcedures = 0, newConstants = 0, newStructures = 0;
    std::vector<Target> targets;
    std::vector<DifferenceClass> classes;  // most frequent first

    bool TargetsMet() const;
};

ComparisonReport Compare(const DeclarationFile& reference, const DeclarationFile& generated);

std::string FormatReport(const ComparisonReport& report, bool everyExample);

}  // namespace declgen
