#include "platform/item_reader.h"

#include <cstring>

namespace IO {

std::size_t ItemReader::Feed(const char* data, std::size_t n, bool& complete) {
  complete = false;
  std::size_t i = 0;
  if (!inItem_) {
    while (i < n && separators_.Has(data[i])) ++i;
    if (i == n) return n;
    inItem_ = true;
    scanner_ = IntScanner{};
    headLength_ = 0;
  }
  for (; i < n; ++i) {
    const char c = data[i];
    if (separators_.Has(c)) {
      inItem_ = false;
      complete = true;
      return i;
    }
    scanner_.Put(c);
    if (headLength_ < Item::kHead) head_[headLength_++] = c;
  }
  return n;
}

bool ItemReader::Finish() {
  const bool pending = inItem_;
  inItem_ = false;
  return pending;
}

Item ItemReader::item() const {
  Item it{scanner_.Result(), {}, headLength_};
  std::memcpy(it.head, head_, headLength_);
  return it;
}

}  // namespace IO
