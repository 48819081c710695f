// The container differ: walks two collections side by side, consumes equal entries
// pairwise, and sends the rest through the caller's diff list, which pairs entries of
// the two sides up by signed multiplicities.
#include <cmath>

#include "differ.h"

TnDiffListIteratorInterface::TnDiffListIteratorInterface(TnVContainer* c)
    : TnVIterator(nullptr, c) {}

TnDiffListIteratorInterface::~TnDiffListIteratorInterface() = default;

TnVContainerDiffer::TnVContainerDiffer() : diffList(nullptr) {}

namespace {

enum class Side { None, First, Second };

// How many disagreeing head-to-head comparisons the differ tries.
struct Budget {
    bool unlimited;
    uint64_t limit;
    bool Allows(uint64_t mismatches) const { return unlimited || mismatches < limit; }
};

Budget ComparisonBudget(const TnVIterator* first, const TnVIterator* second, double ratio) {
    auto countOf = [](const TnVIterator* it) {
        return it->container != nullptr ? it->container->count : 0u;
    };
    const double n = std::max(countOf(first), countOf(second));
    const double product = n * ratio;
    if (!(product > 0)) return {false, 0};  // ratio 0, negative or not a number
    if (product >= 4294967295.0) return {true, 0};
    const auto truncated = static_cast<uint64_t>(product);
    return {false, truncated == 0 ? 10u : truncated};
}

// A Next that runs off the end is not an error.
int Advance(TnVIterator* it) {
    const int rc = it->Next();
    return rc == ERR_TN_AFTER_LAST ? 0 : rc;
}

void SetSide(TnVParameter& p, Side side) {
    p.paramFlags = (p.paramFlags & ~1u) | (side == Side::Second ? 1u : 0u);
}

// One step of the walk through the diff list.
class DiffRun {
  public:
    DiffRun(TnDiffListIteratorInterface* list, TnVIterator* first, TnVIterator* second,
            TnVContainer* outFirst, TnVContainer* outSecond)
        : m_list(list), m_it{first, second}, m_out{outFirst, outSecond} {}

    bool wrote = false;
    int64_t pending[2] = {0, 0};  // diff-list entries waiting from the first / second walk

    // Writes the current entry of one side straight into that side's output.
    int Output(Side side) {
        const int s = Index(side);
        SetSide(m_param, side);
        const int rc = m_out[s]->InsertElement(m_it[s], nullptr, 0, &m_param);
        if (rc < 0) return rc;
        wrote = true;
        return Advance(m_it[s]);
    }

    // Matches the current entry of one side against the diff list; turn receives the
    // side whose entry is to be handled next.
    int ThroughDiffList(Side side, Side& turn) {
        const int s = Index(side), other = 1 - s;
        const int found = m_list->SearchElement(m_it[s], nullptr, 0, nullptr);
        if (found >= 0) {
            int32_t* multiplicity = m_list->GetDiffCount();
            if (multiplicity == nullptr) return ERR_TN_NOT_IMPLEMENTED;
            *multiplicity += side == Side::First ? -1 : 1;
            if (*multiplicity == 0) {
                // A list that stands on the removed entry's neighbour afterwards may
                // report the end of its walk: the removal itself succeeded.
                const int rc = m_list->DeleteElement(0, nullptr);
                if (rc < 0 && rc != ERR_TN_BEFORE_FIRST && rc != ERR_TN_AFTER_LAST) return rc;
                --pending[other];
            }
        } else if (found == ERR_TN_NOT_FOUND || found == ERR_TN_NOT_PENDING) {
            SetSide(m_param, side);
            int rc;
            if (m_it[other]->state == 0) {
                rc = m_list->InsertElement(m_it[s], nullptr, 0, &m_param);
                ++pending[s];
                turn = side == Side::First ? Side::Second : Side::First;
            } else {
                rc = m_out[s]->InsertElement(m_it[s], nullptr, 0, &m_param);
                wrote = true;
            }
            if (rc < 0) return rc;
        } else {
            return found;
        }
        return Advance(m_it[s]);
    }

    // The entries left in the diff list go out as often as their multiplicity says.
    int Drain() {
        int rc = m_list->First();
        while (rc >= 0) {
            const int32_t* multiplicity = m_list->GetDiffCount();
            if (multiplicity == nullptr) return ERR_TN_NOT_IMPLEMENTED;
            for (int32_t c = *multiplicity; c != 0; c += c < 0 ? 1 : -1) {
                const Side side = c < 0 ? Side::First : Side::Second;
                SetSide(m_param, side);
                const int ins = m_out[Index(side)]->InsertElement(m_list, nullptr, 0, &m_param);
                if (ins < 0) return ins;
                wrote = true;
            }
            rc = m_list->Next();
        }
        return rc == ERR_TN_BEFORE_FIRST || rc == ERR_TN_AFTER_LAST ? 0 : rc;
    }

  private:
    static int Index(Side side) { return side == Side::Second ? 1 : 0; }

    TnDiffListIteratorInterface* m_list;
    TnVIterator* m_it[2];
    TnVContainer* m_out[2];
    TnVParameter m_param;
};

// First on a walk; an empty collection is not an error.
int Start(TnVIterator* it) {
    const int rc = it->First();
    return rc == ERR_TN_BEFORE_FIRST || rc == ERR_TN_AFTER_LAST ? 0 : rc;
}

}  // namespace

int TnVContainerDiffer::Diff(TnVIterator* first, TnVIterator* second, TnVContainer* outFirst,
                             TnVContainer* outSecond, double ratio) {
    if (first == nullptr || second == nullptr || outFirst == nullptr || outSecond == nullptr ||
        diffList == nullptr) {
        return ERR_TN_NOT_IMPLEMENTED;
    }
    const Budget budget = ComparisonBudget(first, second, ratio);
    DiffRun run(diffList, first, second, outFirst, outSecond);
    uint64_t mismatches = 0;
    Side turn = Side::First;

    int rc = Start(first);
    if (rc < 0) return rc;
    rc = Start(second);
    if (rc < 0) return rc;

    for (;;) {
        const bool onFirst = first->state == 0, onSecond = second->state == 0;
        if (!onFirst && !onSecond) break;
        if (!onFirst || !onSecond) {
            // One walk has ended: the other's entries go straight out unless entries of
            // the ended walk still wait in the diff list for a partner.
            const Side live = onFirst ? Side::First : Side::Second;
            const int64_t waiting = run.pending[onFirst ? 1 : 0];
            if (waiting > 0) {
                turn = live;
            } else {
                rc = run.Output(live);
                if (rc < 0) return rc;
                turn = Side::None;
                continue;
            }
        } else if (budget.Allows(mismatches)) {
            int keyResult = 0, orderResult = 0;
            rc = first->CompareElement(second, nullptr, &keyResult, &orderResult, nullptr);
            if (rc < 0) return rc;
            if (keyResult == 0 && orderResult == 0) {
                if ((rc = Advance(first)) < 0 || (rc = Advance(second)) < 0) return rc;
                turn = Side::None;
                continue;
            }
            ++mismatches;
            if (turn == Side::None) turn = Side::First;
        } else if (turn == Side::None) {
            turn = Side::First;
        }
        if (turn == Side::First && (rc = run.ThroughDiffList(Side::First, turn)) < 0) return rc;
        if (turn == Side::Second && (rc = run.ThroughDiffList(Side::Second, turn)) < 0) return rc;
    }

    rc = run.Drain();
    if (rc < 0) return rc;
    return run.wrote ? 1 : 0;
}
