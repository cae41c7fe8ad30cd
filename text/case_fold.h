#pragma once

namespace qv {

// The Unicode simple case folding of one code point (one code point to one code point, so 'A'
// gives 'a', U+00C9 gives U+00E9 and U+212A KELVIN SIGN gives 'k'); any other value, including
// values that are not code points, comes back unchanged.
char32_t fold_case(char32_t code_point);

}  // namespace qv
