#include "utils/regex/regexprefilter.h"

#include <climits>
#include <cstring>

#include "utils/regex/elxassert.h"
#include "utils/regex/elxbasic.h"
#include "utils/regex/elxclass.h"
#include "utils/regex/elxgroup.h"
#include "utils/regex/elxrepeat.h"
#include "utils/regex/regexascii.h"

namespace {

// More alternatives than this make the literal scan slower than the matcher it would spare.
constexpr size_t kMaxLiterals = 8;
static_assert(kMaxLiterals <= 8, "a byte of RegexPrefilter::m_startsWith has a bit for each literal");

size_t Shortest(const std::vector<RegexPrefilter::Literal>& literals)
{
    size_t shortest = SIZE_MAX;
    for (const RegexPrefilter::Literal& literal : literals)
        shortest = literal.text.size() < shortest ? literal.text.size() : shortest;
    return shortest;
}

long long Capped(long long length) { return length < INT_MAX ? length : INT_MAX; }

}  // namespace

bool RegexPrefilter::Better(const std::vector<Literal>& a, const std::vector<Literal>& b)
{
    if (a.empty() || b.empty())
        return !a.empty();
    const size_t shortestA = Shortest(a);
    const size_t shortestB = Shortest(b);
    if (shortestA != shortestB)
        return shortestA > shortestB;
    return a.size() < b.size();
}

RegexPrefilter::Facts RegexPrefilter::Analyze(const ElxInterface* element)
{
    Facts facts;
    if (!element)
        return facts;
    if (const auto* string = dynamic_cast<const CStringElxT*>(element)) {
        const CBufferT<char>& text = string->GetText();
        facts.minLength = text.GetSize();
        facts.literals.push_back(Literal{std::string(text.GetData(), static_cast<size_t>(text.GetSize())),
                                         string->IgnoreCase()});
    } else if (dynamic_cast<const CByteClassElxT*>(element)) {
        facts.minLength = 1;
    } else if (const auto* list = dynamic_cast<const CListElxT*>(element)) {
        const CBufferT<const ElxInterface*>& items = list->GetItems();
        for (int i = 0; i < items.GetSize(); ++i) {
            Facts item = Analyze(items[i]);
            facts.minLength = Capped(facts.minLength + item.minLength);
            if (Better(item.literals, facts.literals))
                facts.literals.swap(item.literals);
        }
    } else if (const auto* alternative = dynamic_cast<const CAlternativeElxT*>(element)) {
        const CBufferT<const ElxInterface*>& items = alternative->GetItems();
        bool allHaveLiterals = items.GetSize() > 0;
        for (int i = 0; i < items.GetSize(); ++i) {
            Facts item = Analyze(items[i]);
            facts.minLength = i == 0 || item.minLength < facts.minLength ? item.minLength : facts.minLength;
            allHaveLiterals = allHaveLiterals && !item.literals.empty();
            if (allHaveLiterals)
                facts.literals.insert(facts.literals.end(), item.literals.begin(), item.literals.end());
        }
        if (!allHaveLiterals || facts.literals.size() > kMaxLiterals)
            facts.literals.clear();
    } else if (const auto* repeat = dynamic_cast<const CRepeatElxT*>(element)) {
        // Possessive, greedy and lazy repeats derive from the fixed one; all match the minimum.
        if (repeat->GetMinimum() >= 1) {
            facts = Analyze(repeat->GetInner());
            facts.minLength = Capped(facts.minLength * repeat->GetMinimum());
        }
    } else if (const auto* independent = dynamic_cast<const CIndependentElxT*>(element)) {
        facts = Analyze(independent->GetInner());
    } else if (const auto* condition = dynamic_cast<const CConditionElxT*>(element)) {
        // A missing branch matches the empty string.
        const long long yes = Analyze(condition->GetYes()).minLength;
        const long long no = Analyze(condition->GetNo()).minLength;
        facts.minLength = yes < no ? yes : no;
    }
    return facts;
}

void RegexPrefilter::Build(const ElxInterface* top)
{
    Facts facts = Analyze(top);
    m_minLength = static_cast<int>(facts.minLength);
    m_literals.swap(facts.literals);
    std::memset(m_startsWith, 0, sizeof m_startsWith);
    m_shortest = m_literals.empty() ? 0 : static_cast<int>(Shortest(m_literals));
    for (size_t i = 0; i < m_literals.size(); ++i) {
        const unsigned char bit = static_cast<unsigned char>(1u << i);
        const unsigned char first = static_cast<unsigned char>(m_literals[i].text[0]);
        m_startsWith[first] |= bit;
        if (m_literals[i].ignoreCase) {
            m_startsWith[RegexToUpper(first)] |= bit;
            m_startsWith[RegexToLower(first)] |= bit;
        }
    }
}

bool RegexPrefilter::FindAny(const char* text, int length) const
{
    if (m_literals.size() == 1 && !m_literals[0].ignoreCase) {
        const std::string& literal = m_literals[0].text;
        return memmem(text, static_cast<size_t>(length), literal.data(), literal.size()) != nullptr;
    }
    if (length < m_shortest)
        return false;
    const unsigned char* const start = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const end = start + length;
    const unsigned char* const last = end - m_shortest;
    for (const unsigned char* at = start; at <= last; ++at) {
        // Only the literals that start with the byte are compared, from their second byte on.
        for (unsigned starts = m_startsWith[*at]; starts != 0; starts &= starts - 1) {
            const Literal& literal = m_literals[static_cast<size_t>(__builtin_ctz(starts))];
            const int size = static_cast<int>(literal.text.size());
            if (size <= end - at && RegexEqualText(reinterpret_cast<const char*>(at) + 1, literal.text.data() + 1,
                                                   size - 1, literal.ignoreCase))
                return true;
        }
    }
    return false;
}

bool RegexPrefilter::MayMatch(const char* text, int length) const
{
    if (length < m_minLength)
        return false;
    return m_literals.empty() || FindAny(text, length);
}
