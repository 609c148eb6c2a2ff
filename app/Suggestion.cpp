#include "app/Suggestion.h"

#include <algorithm>
#include <cctype>
#include <numeric>

namespace umbrix {

namespace {

char folded(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const std::size_t change = diagonal + (folded(a[i - 1]) == folded(b[j - 1]) ? 0 : 1);
            row[j] = std::min({change, above + 1, row[j - 1] + 1});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::optional<std::string> closestCandidate(std::string_view word,
                                            const std::vector<Candidate>& candidates) {
    // A third of the word may be wrong, and at least two letters, or nothing is alike.
    const std::size_t allowed = std::max<std::size_t>(2, word.size() / 3);
    std::optional<std::string> best;
    std::size_t bestDistance = allowed + 1;
    for (const Candidate& candidate : candidates) {
        const std::size_t distance = editDistance(word, candidate.spelling);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate.meaning;
        }
    }
    return best;
}

} // namespace umbrix
