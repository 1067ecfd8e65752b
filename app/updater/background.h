// The main window's background: updatebg.hg3 decoded, flattened over
// white and turned bottom-up; a white 640 x 480 picture when the file is
// missing or cannot be decoded.
#pragma once

#include "ui/ui.h"

// Reads "updatebg.hg3" from the current directory. True when it decoded.
bool LoadBackground();
void ReleaseBackground();
// The picture to paint; all zero before LoadBackground.
ui::Picture GetBackgroundPicture();
// Draws the background at 1:1 in the client area's top left corner.
void PaintBackground(ui::DeviceContext* context);
