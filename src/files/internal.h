// Shared by the files of this folder; not for other folders.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace files::detail {

// A text as a short string: cut to 255 bytes.
std::string Cut(std::string_view s);

// Changes back to a folder that the caller left; a failure ends the program
// with the error's number, as the run-time library's I/O check does.
void ReturnTo(const std::string& folder);

// Shows rows in the toolkit's pick list on x1,y1 (the list as wide as its
// widest row and as high as its rows, within the screen) in the colours of
// the console's current text attribute, the selected row first. Typed
// letters find the first row that starts with them. The chosen row's
// index, or -1 for Esc.
int PickRow(const std::vector<std::string>& rows, std::size_t selected, int x1, int y1,
            std::string_view title);
// The same in a fixed rectangle.
int PickRowIn(const std::vector<std::string>& rows, std::size_t selected, int x1, int y1, int x2,
              int y2, std::string_view title);

}  // namespace files::detail
