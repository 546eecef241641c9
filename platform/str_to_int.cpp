#include "platform/str_to_int.h"

namespace IO {

IntResult StrToInt(std::string_view item) {
  IntScanner scanner;
  for (char c : item) scanner.Put(c);
  return scanner.Result();
}

}  // namespace IO
