#pragma once
// The folder picker, through the program's prompt so that tests can answer.

#include <string>

class QWidget;

namespace brevita {

// The chosen folder's full path, or "" when the user cancels. Only the file
// system's root ends in "/".
std::string BrowseForFolder(QWidget *owner);

} // namespace brevita
