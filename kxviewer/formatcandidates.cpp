#include "kxviewer/formatcandidates.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

// 'P #3' belongs to family 'P': the main name ends one character before the
// '#'. Empty for a name that is no sub-template's.
std::string FamilyNameOf(const std::string& name)
{
    const size_t hash = name.find('#');
    return hash == std::string::npos || hash < 1 ? std::string() : name.substr(0, hash - 1);
}

// The editor's own message for a family it would not let the user make.
std::string LimitRefusal(const ImportFormatList& read, const FormatCandidate& candidate)
{
    if (candidate.subTemplates.size() >= size_t(IMPORT_FAMILY_MAX))
        return "Maximum amount of sub-templates (" + std::to_string(IMPORT_FAMILY_MAX) + ") is reached";
    std::vector<int32_t> family{candidate.index};
    family.insert(family.end(), candidate.subTemplates.begin(), candidate.subTemplates.end());
    std::unordered_set<std::string> names;
    for (int32_t member : family) {
        if (read[size_t(member)].fields.size() > size_t(IMPORT_FIELDS_MAX))
            return "Max number of fields archived!";
        if (!names.insert(read[size_t(member)].name).second)
            return "Name duplicate";
    }
    return std::string();
}

bool SameFamily(const ImportFormatList& present, int32_t k, const std::vector<int32_t>& presentSubs,
                const ImportFormatList& read, const FormatCandidate& candidate)
{
    if (!ImportFormat::IsSame(present[size_t(k)], read[size_t(candidate.index)]) ||
        presentSubs.size() != candidate.subTemplates.size())
        return false;
    for (size_t r = 0; r < presentSubs.size(); ++r)
        if (!ImportFormat::IsSame(present[size_t(presentSubs[r])], read[size_t(candidate.subTemplates[r])]))
            return false;
    return true;
}

} // namespace

std::vector<std::vector<int32_t>> FormatFamilies(const ImportFormatList& list)
{
    std::unordered_map<std::string, std::vector<size_t>> mains;
    for (size_t i = 0; i < list.size(); ++i)
        if (!list[i].IsSubTemplateName())
            mains[list[i].name].push_back(i);
    std::vector<std::vector<std::pair<int64_t, int32_t>>> found(list.size());
    for (size_t j = 0; j < list.size(); ++j) {
        const std::string& name = list[j].name;
        const std::string family = FamilyNameOf(name);
        if (family.empty())
            continue;
        auto main = mains.find(family);
        if (main == mains.end())
            continue;
        const int64_t number = strtoll(name.c_str() + name.find('#') + 1, nullptr, 10);
        for (size_t m : main->second)
            found[m].emplace_back(number, int32_t(j));
    }
    std::vector<std::vector<int32_t>> families(list.size());
    for (size_t m = 0; m < list.size(); ++m) {
        std::stable_sort(found[m].begin(), found[m].end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& entry : found[m])
            families[m].push_back(entry.second);
    }
    return families;
}

std::vector<FormatCandidate> BuildFormatCandidates(const ImportFormatList& present, int32_t builtinCount,
                                                   const ImportFormatList& read)
{
    const std::vector<std::vector<int32_t>> readFamilies = FormatFamilies(read);
    const std::vector<std::vector<int32_t>> presentFamilies = FormatFamilies(present);
    std::unordered_map<std::string, int32_t> presentByName;
    for (size_t k = 0; k < present.size(); ++k)
        presentByName.emplace(present[k].name, int32_t(k));

    std::vector<FormatCandidate> candidates;
    std::unordered_set<std::string> offered;
    for (size_t j = 0; j < read.size(); ++j) {
        if (read[j].IsSubTemplateName())
            continue;
        FormatCandidate candidate;
        candidate.index = int32_t(j);
        candidate.subTemplates = readFamilies[j];
        auto match = presentByName.find(read[j].name);
        if (match != presentByName.end()) {
            candidate.match = match->second;
            candidate.state =
                SameFamily(present, match->second, presentFamilies[size_t(match->second)], read, candidate)
                    ? CandidateState::Equal
                    : CandidateState::Overlap;
        }
        if (!offered.insert(read[j].name).second)
            candidate.refusal = "Name duplicate";
        else if (candidate.match >= 0 && candidate.match < builtinCount)
            candidate.refusal = "Built-in format: only its extension can be changed";
        else
            candidate.refusal = LimitRefusal(read, candidate);
        candidate.checked = candidate.Checkable();
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

void TakeFormatCandidates(ImportFormatList& present, const ImportFormatList& read,
                          const std::vector<FormatCandidate>& candidates, const std::vector<bool>& taken)
{
    const std::vector<std::vector<int32_t>> presentFamilies = FormatFamilies(present);
    int32_t nextVisual = 1;
    for (const ImportFormat& format : present)
        nextVisual = std::max(nextVisual, format.visual + 1);

    std::unordered_map<int32_t, ImportFormatList> replacing; // by the replaced present index
    ImportFormatList appended;
    std::vector<bool> removed(present.size(), false);
    std::unordered_set<std::string> takenNames, takenFamilies;
    for (size_t c = 0; c < candidates.size(); ++c) {
        const FormatCandidate& candidate = candidates[c];
        if (c >= taken.size() || !taken[c] || !candidate.Checkable())
            continue;
        ImportFormatList family{read[size_t(candidate.index)]};
        for (int32_t sub : candidate.subTemplates) {
            family.push_back(read[size_t(sub)]);
            family.back().visual = 0;
        }
        for (const ImportFormat& member : family)
            takenNames.insert(member.name);
        takenFamilies.insert(family.front().name);
        if (candidate.state == CandidateState::Overlap) {
            family.front().visual = present[size_t(candidate.match)].visual;
            removed[size_t(candidate.match)] = true;
            for (int32_t sub : presentFamilies[size_t(candidate.match)])
                removed[size_t(sub)] = true;
            replacing[candidate.match] = std::move(family);
        } else {
            family.front().visual = nextVisual++;
            appended.insert(appended.end(), family.begin(), family.end());
        }
    }
    // A present sub-template without its main format may carry a taken name,
    // or would join a taken family that does not hold it: it goes too, so
    // that no name is left twice and the family is the one the file gave.
    for (size_t k = 0; k < present.size(); ++k)
        if (takenNames.count(present[k].name) != 0 || takenFamilies.count(FamilyNameOf(present[k].name)) != 0)
            removed[k] = true;

    ImportFormatList result;
    for (size_t k = 0; k < present.size(); ++k) {
        auto family = replacing.find(int32_t(k));
        if (family != replacing.end())
            result.insert(result.end(), family->second.begin(), family->second.end());
        else if (!removed[k])
            result.push_back(present[k]);
    }
    result.insert(result.end(), appended.begin(), appended.end());
    present = std::move(result);
}
