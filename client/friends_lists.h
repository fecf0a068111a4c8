#pragma once
// The prefix search of the friends pages.
#include <string>

#include "forms/lists.h"

namespace client {

// The index of the first item whose beginning (as many characters as `text` has) equals
// `text` without regard to case, or -1. An empty text finds item 0 of any non-empty list.
int ChercheDansListBox(const std::string& text, const forms::TListBox& list);

}  // namespace client
