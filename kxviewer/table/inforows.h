// The rows of a document's Info pane; the values stand in column 1.
#pragma once

enum InfoRow : int { INFO_NAME, INFO_SOURCE, INFO_CREATION, INFO_RELATIVE, INFO_EDITABLE, INFO_PRES_ERRORS, INFO_VERSION };
