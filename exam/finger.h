// Fingers as the clinic names them: R1..R5 and L1..L5, thumb (1) to little finger (5).
#pragma once

#include <string>
#include <vector>

namespace exam {

bool IsFingerCode(const std::string& code);
// The order a nailfold examination usually films them: the eight fingers without the thumbs,
// right hand first, then the thumbs.
const std::vector<std::string>& FingerOrder();
// The finger after code in that order, back to the first after the last.
std::string NextFinger(const std::string& code);

}  // namespace exam
