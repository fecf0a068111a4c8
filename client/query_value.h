#pragma once
// Text typed by the user, as the value of a query to the secretariat. Spaces become "+" (or are
// dropped, for telephone and fax numbers); "&", "=", "#", "%" and "+" are sent as %26, %3D,
// %23, %25 and %2B, so that they reach the server's scripts as typed instead of adding a
// parameter, cutting the query or turning into a space. Every other character goes as it is.
#include <string>
#include <string_view>

namespace client {

enum class Spaces { Plus, Dropped };

std::string QueryValue(std::string_view typed, Spaces spaces = Spaces::Plus);

}  // namespace client
