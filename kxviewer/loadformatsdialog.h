// Loading import formats from another formats file.
#pragma once

class QWidget;

// Offers the formats of a file the user picks and takes the chosen ones
// into ImportFormats; true when the list changed.
bool LoadFormatsFromFile(QWidget* parent);
