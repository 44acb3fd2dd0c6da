// The key bindings as data, and finding the one a key press or release stands for.
#include "app/key_table.h"

namespace {
constexpr unsigned ALL_MODIFIERS = MODIFIER_SHIFT | MODIFIER_CTRL | MODIFIER_ALT | MODIFIER_SUPER;
constexpr KeyModifiers PLAIN = {0, 0};
constexpr KeyModifiers SHIFTED = {MODIFIER_SHIFT, 0};
// Shift or not alike; with Ctrl, Alt or Super it is another key (the page leaves those to the browser).
constexpr KeyModifiers SHIFT_FREE = {0, MODIFIER_SHIFT};
constexpr KeyModifiers CTRL = {MODIFIER_CTRL, 0};
constexpr KeyModifiers ANY = {0, ALL_MODIFIERS};

constexpr unsigned RUN = KEY_MODE_RUN, AUTHOR = KEY_MODE_AUTHOR, FLY = KEY_MODE_FLY, PAGE = KEY_MODE_PAGE;
constexpr bool REPEATS = true, ONCE = false;
} // namespace

// clang-format off
const KeyBinding KEY_BINDINGS[] = {
    // key                 modifiers   modes                  held key   action
    {KEY_ESCAPE,           ANY,        RUN | AUTHOR | PAGE,   ONCE,      KeyAction::Quit},
    {KEY_SPACE,            SHIFT_FREE, AUTHOR | PAGE,         ONCE,      KeyAction::TogglePause},
    {KEY_LEFT,             PLAIN,      AUTHOR | PAGE,         REPEATS,   KeyAction::SeekBack},
    {KEY_RIGHT,            PLAIN,      AUTHOR | PAGE,         REPEATS,   KeyAction::SeekForward},
    {KEY_LEFT,             SHIFTED,    AUTHOR | PAGE,         REPEATS,   KeyAction::FineSeekBack},
    {KEY_RIGHT,            SHIFTED,    AUTHOR | PAGE,         REPEATS,   KeyAction::FineSeekForward},
    {KEY_PAGE_UP,          SHIFT_FREE, AUTHOR | PAGE,         REPEATS,   KeyAction::BarBack},
    {KEY_PAGE_DOWN,        SHIFT_FREE, AUTHOR | PAGE,         REPEATS,   KeyAction::BarForward},
    {KEY_HOME,             SHIFT_FREE, AUTHOR | PAGE,         ONCE,      KeyAction::SeekToStart},
    {KEY_COMMA,            SHIFT_FREE, AUTHOR | PAGE,         REPEATS,   KeyAction::FrameBack},
    {KEY_PERIOD,           SHIFT_FREE, AUTHOR | PAGE,         REPEATS,   KeyAction::FrameForward},
    {'B',                  SHIFT_FREE, AUTHOR,                ONCE,      KeyAction::LoopStart},
    {'N',                  SHIFT_FREE, AUTHOR,                ONCE,      KeyAction::LoopEnd},
    {KEY_BACKSPACE,        SHIFT_FREE, AUTHOR,                ONCE,      KeyAction::ClearLoop},
    {'R',                  SHIFT_FREE, AUTHOR,                ONCE,      KeyAction::ReloadStages},
    {KEY_F11,              SHIFT_FREE, AUTHOR,                ONCE,      KeyAction::ToggleFullscreen},
    {'F',                  SHIFT_FREE, PAGE,                  ONCE,      KeyAction::ToggleFullscreen},
    {'E',                  SHIFT_FREE, PAGE,                  ONCE,      KeyAction::OpenStageEditor},
    // The page's stage editor keeps every key but the Ctrl+ ones it does not use itself: these reach the
    // transport from there too.
    {KEY_SPACE,            CTRL,       PAGE,                  ONCE,      KeyAction::TogglePause},
    {KEY_COMMA,            CTRL,       PAGE,                  REPEATS,   KeyAction::FrameBack},
    {KEY_PERIOD,           CTRL,       PAGE,                  REPEATS,   KeyAction::FrameForward},
    {'F',                  PLAIN,      AUTHOR,                ONCE,      KeyAction::ToggleFly},
    {'K',                  PLAIN,      AUTHOR,                ONCE,      KeyAction::KeyFlownView},
    {'Z',                  CTRL,       AUTHOR,                ONCE,      KeyAction::UndoFlownKeys},
    {KEY_LEFT_BRACKET,     SHIFT_FREE, AUTHOR,                REPEATS,   KeyAction::PreviousKeyRow},
    {KEY_RIGHT_BRACKET,    SHIFT_FREE, AUTHOR,                REPEATS,   KeyAction::NextKeyRow},
    {'W',                  SHIFT_FREE, FLY,                   ONCE,      KeyAction::FlyForward},
    {'A',                  SHIFT_FREE, FLY,                   ONCE,      KeyAction::FlyLeft},
    {'S',                  SHIFT_FREE, FLY,                   ONCE,      KeyAction::FlyBack},
    {'D',                  SHIFT_FREE, FLY,                   ONCE,      KeyAction::FlyRight},
    {'Q',                  SHIFT_FREE, FLY,                   ONCE,      KeyAction::FlyDown},
    {'E',                  SHIFT_FREE, FLY,                   ONCE,      KeyAction::FlyUp},
    {KEY_EQUAL,            SHIFT_FREE, FLY,                   REPEATS,   KeyAction::FlyFaster},
    {KEY_KEYPAD_ADD,       SHIFT_FREE, FLY,                   REPEATS,   KeyAction::FlyFaster},
    {KEY_MINUS,            SHIFT_FREE, FLY,                   REPEATS,   KeyAction::FlySlower},
    {KEY_KEYPAD_SUBTRACT,  SHIFT_FREE, FLY,                   REPEATS,   KeyAction::FlySlower},
};
// clang-format on
const int KEY_BINDING_COUNT = static_cast<int>(sizeof KEY_BINDINGS / sizeof KEY_BINDINGS[0]);

static bool modifiersMatch(const KeyModifiers& wanted, unsigned held) {
    return ((held ^ wanted.held) & ~wanted.ignored & ALL_MODIFIERS) == 0;
}

const KeyBinding* findKeyBinding(int key, unsigned modifiers, unsigned modes) {
    for (const KeyBinding& binding : KEY_BINDINGS)
        if (binding.key == key && (binding.modes & modes) != 0 &&
            modifiersMatch(binding.modifiers, modifiers))
            return &binding;
    return nullptr;
}

const KeyBinding* findReleasedKeyBinding(int key, unsigned modes) {
    for (const KeyBinding& binding : KEY_BINDINGS)
        if (binding.key == key && (binding.modes & modes) != 0)
            return &binding;
    return nullptr;
}
