#include "db/result_budget.h"

#include <string>

namespace strivex {

DbError ResultBudget::TooLarge() const {
  constexpr size_t kMiB = size_t{1} << 20;
  const std::string limit =
      limit_ % kMiB == 0 ? std::to_string(limit_ / kMiB) + " MiB" : std::to_string(limit_) + " bytes";
  return {kResultFail, std::string(kResultTooLarge) + ": the result sets of one session may hold " + limit,
          DbFailure::kRejected};
}

}  // namespace strivex
