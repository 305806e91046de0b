#include "NoteCount.h"

namespace quorbel::cli {

uint64_t NoteCount(const std::string& utf8, const UTF16String&) { return utf8.size(); }

}  // namespace quorbel::cli
