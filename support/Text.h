// Owned, NUL-terminated text of the component: a single pointer (so the
// record keeps its 4-byte string fields), nothrow, freed on destruction.
#ifndef QUARVEL_SUPPORT_TEXT_H
#define QUARVEL_SUPPORT_TEXT_H

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace quarvel {

template <typename Char>
class OwnedText {
 public:
  OwnedText() = default;
  OwnedText(const OwnedText&) = delete;
  OwnedText& operator=(const OwnedText&) = delete;
  OwnedText(OwnedText&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  ~OwnedText() { Clear(); }

  // Replaces the text with n units of s. On allocation failure the text is
  // empty and the result false.
  bool Assign(const Char* s, std::size_t n) {
    Char* fresh = static_cast<Char*>(std::malloc((n + 1) * sizeof(Char)));
    if (fresh == nullptr) {
      Clear();
      return false;
    }
    if (n > 0) std::memcpy(fresh, s, n * sizeof(Char));
    fresh[n] = 0;
    Adopt(fresh);
    return true;
  }
  bool Assign(const Char* s) { return Assign(s, s ? Length(s) : 0); }

  // Takes over a block allocated with malloc.
  void Adopt(Char* block) {
    Clear();
    p_ = block;
  }

  const Char* c_str() const {
    static const Char kEmpty[1] = {0};
    return p_ ? p_ : kEmpty;
  }
  std::size_t length() const { return p_ ? Length(p_) : 0; }
  bool empty() const { return p_ == nullptr || p_[0] == 0; }
  void Clear() {
    std::free(p_);
    p_ = nullptr;
  }

 private:
  static std::size_t Length(const Char* s) {
    std::size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
  }
  Char* p_ = nullptr;
};

using WideText = OwnedText<wchar_t>;
using AnsiText = OwnedText<char>;

}  // namespace quarvel

#endif
