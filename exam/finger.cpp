#include "exam/finger.h"

#include <algorithm>

namespace exam {

const std::vector<std::string>& FingerOrder() {
    static const std::vector<std::string> order = {"R2", "R3", "R4", "R5", "L2",
                                                   "L3", "L4", "L5", "R1", "L1"};
    return order;
}

bool IsFingerCode(const std::string& code) {
    const auto& order = FingerOrder();
    return std::find(order.begin(), order.end(), code) != order.end();
}

std::string NextFinger(const std::string& code) {
    const auto& order = FingerOrder();
    auto it = std::find(order.begin(), order.end(), code);
    if (it == order.end() || ++it == order.end()) return order.front();
    return *it;
}

}  // namespace exam
