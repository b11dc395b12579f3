#include "ui/banner_layout.h"

namespace tarnwick {

ButtonLayout layoutButtons(int32_t imageWidth, Extent cancelText, Extent okText, bool askFirst) {
  ButtonLayout b;
  const int32_t width = cancelText.width + cancelText.height;
  const int32_t height = cancelText.height;
  const int32_t top = centredTop(height);
  b.ok = {imageWidth - kButtonsFromRight, top, imageWidth - kButtonsFromRight + width,
          top + height};
  const int32_t cancelLeft = (askFirst ? b.ok.right : b.ok.left) + kButtonGap;
  b.cancel = {cancelLeft, top, cancelLeft + width, top + height};
  b.cornerSize = height;
  // Halves are rounded down (arithmetic shifts), also for a negative difference.
  b.okTextX = ((cancelText.width - okText.width) >> 1) + (height >> 1) + b.ok.left;
  b.cancelTextX = (height >> 1) + b.cancel.left;
  b.textY = top;
  return b;
}

}  // namespace tarnwick
