#include "planes.hpp"

namespace synth {

void box_blur(std::vector<float>& f, int ni, int nj, int ri, int rj, bool wrap) {
  std::vector<double> prefix(static_cast<std::size_t>(std::max(ni, nj) + 2 * std::max(ri, rj) + 1));
  auto pass = [&](int n, int r, bool periodic, auto&& at) {
    prefix[0] = 0.0;
    for (int e = 0; e < n + 2 * r; ++e) {
      int src = e - r;
      if (periodic) src = ((src % n) + n) % n;
      else src = std::clamp(src, 0, n - 1);
      prefix[static_cast<std::size_t>(e + 1)] = prefix[static_cast<std::size_t>(e)] + at(src);
    }
    for (int x = 0; x < n; ++x)
      at(x) = static_cast<float>((prefix[static_cast<std::size_t>(x + 2 * r + 1)] -
                                  prefix[static_cast<std::size_t>(x)]) /
                                 (2 * r + 1));
  };
  for (int j = 0; j < nj; ++j)
    pass(ni, ri, wrap, [&](int i) -> float& { return f[static_cast<std::size_t>(j) * static_cast<std::size_t>(ni) + static_cast<std::size_t>(i)]; });
  for (int i = 0; i < ni; ++i)
    pass(nj, rj, false, [&](int j) -> float& { return f[static_cast<std::size_t>(j) * static_cast<std::size_t>(ni) + static_cast<std::size_t>(i)]; });
}

}  // namespace synth
