// The generated parts of the help collection: the help project, with one
// keyword for every What's-this text the program shows, and the commands
// page those keywords lead to, one line per command.
#pragma once

#include <QString>

namespace HelpProject {

// The commands page's file name in the collection.
inline constexpr char COMMANDS_PAGE[] = "commands.html";

// The help project (.qhp) over the hand-written pages and the commands page.
QString Project();

// The commands page: each command's name, key and purpose, under the anchor
// its What's-this keyword points to.
QString CommandsPage();

} // namespace HelpProject
