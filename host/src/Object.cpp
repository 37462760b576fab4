#include "Object.h"

namespace host {

std::atomic<int64_t>& LiveObjectCounter() {
  static std::atomic<int64_t> counter{0};
  return counter;
}

}  // namespace host
