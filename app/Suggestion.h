#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// A candidate that a mistyped word was probably meant to be: the candidate closest by edit
// distance, ignoring case, when it is close enough to be worth suggesting.
struct Candidate {
    std::string spelling; // what is compared with the word
    std::string meaning;  // what is suggested
};
std::optional<std::string> closestCandidate(std::string_view word,
                                            const std::vector<Candidate>& candidates);

} // namespace umbrix
