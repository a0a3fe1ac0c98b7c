#include "replay/format/items.h"

#include "replay/base/text.h"

namespace vehisect {

std::size_t SplitItems(std::string_view line, std::string_view* items, std::size_t max) {
  std::size_t count = 0;
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::string_view item;
    if (i < line.size() && line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      const std::size_t stop = close == std::string_view::npos ? line.size() : close;
      item = line.substr(i + 1, stop - i - 1);
      i = line.find(',', stop);
    } else {
      const std::size_t comma = line.find(',', i);
      item = Trim(line.substr(i, comma == std::string_view::npos ? line.size() - i : comma - i), "", " ");
      i = comma;
    }
    if (count < max) items[count] = item;
    ++count;
    if (i == std::string_view::npos) return count;
    ++i;
  }
}

}  // namespace vehisect
