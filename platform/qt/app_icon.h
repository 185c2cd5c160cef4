#pragma once

#include <QIcon>

// A program's icon ("talvane" or "ordwin") in every size compiled into the
// program, drawn from the same SVG as the icon the desktop shows.
QIcon AppIcon(const char* name);
