// The input table and its state: the frac counter and the two drag flags.
#include "app/input.h"

#include "app/run_state.h"

static int frac = 0;
static bool leftDrag = false;
static bool middleDrag = false;
static bool quit = false;
static AuthorKeyHandler authorKeys = nullptr;

bool quitRequested() {
    return quit;
}

void setAuthorKeyHandler(AuthorKeyHandler handler) {
    authorKeys = handler;
}

int fracCounter() {
    return frac;
}

InputAction handleInput(InputEvent event, bool autoRepeat) {
    switch (event) {
    case InputEvent::Close:
    case InputEvent::Destroy:
    case InputEvent::KeyEscape:
        quit = true;
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
    case InputEvent::KeySpace:
    case InputEvent::KeyLeft:
    case InputEvent::KeyRight:
    case InputEvent::KeyShiftLeft:
    case InputEvent::KeyShiftRight:
    case InputEvent::KeyPageUp:
    case InputEvent::KeyPageDown:
    case InputEvent::KeyHome:
    case InputEvent::KeyComma:
    case InputEvent::KeyPeriod:
    case InputEvent::KeyB:
    case InputEvent::KeyN:
    case InputEvent::KeyBackspace:
    case InputEvent::KeyR:
    case InputEvent::KeyF11:
        if (authorKeys == nullptr)
            break; // a release run treats them as any other key
        return authorKeys(event, autoRepeat) ? InputAction::ToggleFullscreen : InputAction::Consumed;
    }
    return InputAction::DefaultHandler;
}

void resetInput() {
    frac = 0;
    leftDrag = false;
    middleDrag = false;
    quit = false;
    authorKeys = nullptr;
}
