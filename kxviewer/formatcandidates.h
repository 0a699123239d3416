// Formats read from another formats file, offered for import: one candidate
// per main format of that file, with its sub-templates, compared with the
// formats present. Nothing here touches the process-wide list; the caller
// hands the lists in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kxviewer/importformat.h"

enum class CandidateState : uint32_t {
    Equal = 0,   // the present family is the same: nothing to take
    New = 1,     // no present format of that name
    Overlap = 2, // a present format of that name differs: taking it replaces its family
};

struct FormatCandidate {
    CandidateState state = CandidateState::New;
    int32_t index = -1; // in the read list
    int32_t match = -1; // the same-named present format; -1 when none
    bool checked = false;
    std::vector<int32_t> subTemplates; // in the read list, ascending by number
    // Why the candidate may not be taken (a built-in of that name, a family
    // over the editor's limits, a name the file repeats); empty when it may.
    std::string refusal;

    bool Checkable() const { return state != CandidateState::Equal && refusal.empty(); }
};

// The sub-templates of every main format (a name without '#') of list,
// ascending by number, by the main format's index; empty for the others.
// One pass, so that a file of thousands of formats stays quick.
std::vector<std::vector<int32_t>> FormatFamilies(const ImportFormatList& list);

// One candidate per main format of read, in read's order. The first
// builtinCount formats of present are built-in and are never replaced.
std::vector<FormatCandidate> BuildFormatCandidates(const ImportFormatList& present, int32_t builtinCount,
                                                   const ImportFormatList& read);

// Takes the candidates whose taken flag is set (only checkable ones count)
// into present: an Overlap family replaces the present family in its place
// and keeps its display position; a New family is appended with the next
// free display position. Sub-templates get display position 0.
void TakeFormatCandidates(ImportFormatList& present, const ImportFormatList& read,
                          const std::vector<FormatCandidate>& candidates, const std::vector<bool>& taken);
