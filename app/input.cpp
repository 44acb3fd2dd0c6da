// The input table and its state: the frac counter and the two drag flags.
#include "app/input.h"

#include "app/run_state.h"

static int frac = 0;
static bool leftDrag = false;
static bool middleDrag = false;

int fracCounter() {
    return frac;
}

InputAction handleInput(InputEvent event) {
    switch (event) {
    case InputEvent::Close:
    case InputEvent::Destroy:
    case InputEvent::KeyEscape:
        stopRunning();
        return InputAction::Consumed;
    case InputEvent::LeftDown:
        frac = (frac + 1) % 3;
        return InputAction::Consumed;
    case InputEvent::ShiftLeftDown:
        leftDrag = true;
        return InputAction::TakeCapture;
    case InputEvent::LeftUp:
        if (!leftDrag)
            return InputAction::Consumed;
        leftDrag = false;
        return InputAction::ReleaseCapture;
    case InputEvent::MiddleDown:
        middleDrag = true;
        return InputAction::TakeCapture;
    case InputEvent::MiddleUp:
        if (!middleDrag)
            return InputAction::Consumed;
        middleDrag = false;
        return InputAction::ReleaseCapture;
    case InputEvent::RightDown:
    case InputEvent::MouseMove:
    case InputEvent::MouseWheel:
        return InputAction::Consumed;
    case InputEvent::KeyOther:
    case InputEvent::Other:
        break;
    }
    return InputAction::DefaultHandler;
}
