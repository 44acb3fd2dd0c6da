// Every key binding of every program, one row each: the key, the modifiers it wants, the modes it acts in,
// whether holding it acts again, and what it does. A new binding, in any mode, is one row of KEY_BINDINGS.
#pragma once
#include "platform/input_event.h"

// Where a binding acts; a program's input has one or more of them in force (app/input.h).
enum KeyMode : unsigned {
    KEY_MODE_RUN = 1,    // the release run
    KEY_MODE_AUTHOR = 2, // author mode, flying or not
    KEY_MODE_FLY = 4,    // author mode while flying
    KEY_MODE_PAGE = 8,   // the page, while it plays
};

enum class KeyAction {
    Quit,
    TogglePause,
    SeekBack,
    SeekForward,
    FineSeekBack,
    FineSeekForward,
    BarBack,
    BarForward,
    SeekToStart,
    FrameBack,
    FrameForward,
    LoopStart,
    LoopEnd,
    ClearLoop,
    ReloadStages,
    ToggleFullscreen,
    ToggleFly,
    KeyFlownView,
    UndoFlownKeys,
    PreviousKeyRow,
    NextKeyRow,
    OpenStageEditor,
    // Held: they act on the key's press and on its release.
    FlyForward,
    FlyLeft,
    FlyBack,
    FlyRight,
    FlyDown,
    FlyUp,
    // Once per press.
    FlyFaster,
    FlySlower,
};

// The modifiers a binding wants: those in `held` held, the others in none of them, except the `ignored` ones,
// which may be held or not.
struct KeyModifiers {
    unsigned held;
    unsigned ignored;
};

struct KeyBinding {
    int key; // a RawKey
    KeyModifiers modifiers;
    unsigned modes; // KeyMode bits
    bool repeats;   // a held key's repeats act again (scrubbing); otherwise once per press
    KeyAction action;
};

extern const KeyBinding KEY_BINDINGS[];
extern const int KEY_BINDING_COUNT;

// The binding of a key pressed with `modifiers` in any of `modes`; null when there is none.
const KeyBinding* findKeyBinding(int key, unsigned modifiers, unsigned modes);
// The binding a key released in `modes` ends, whatever the modifiers are now; null when there is none.
const KeyBinding* findReleasedKeyBinding(int key, unsigned modes);
