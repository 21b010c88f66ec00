// Moves the main window's children to the rectangles of the layout.
#pragma once

void ArrangeChildren();
