// The input rules through raw events, as every backend hands them over: what each does to the running flag,
// the frac counter and the mouse capture, and what the key table makes of a key in each mode.
#include "app/input.h"
#include "app/key_table.h"
#include "app/run_state.h"
#include "tests/build_paths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {
RawInputEvent raw(RawEventType type, int code = KEY_NONE, unsigned modifiers = 0, int button = MOUSE_LEFT) {
    RawInputEvent event;
    event.type = type;
    event.key = code;
    event.modifiers = modifiers;
    event.button = button;
    return event;
}

RawInputEvent mouse(RawEventType type, int button = MOUSE_LEFT, unsigned modifiers = 0) {
    return raw(type, KEY_NONE, modifiers, button);
}

// The actions a handler was given, in order, with their press or release.
std::vector<std::pair<KeyAction, bool>> performed;
unsigned modesInForce = KEY_MODE_AUTHOR;

InputAction record(KeyAction action, bool down) {
    performed.emplace_back(action, down);
    return action == KeyAction::ToggleFullscreen ? InputAction::ToggleFullscreen : InputAction::Consumed;
}

void installRecorder(unsigned modes) {
    performed.clear();
    modesInForce = modes;
    setKeyActions([] { return modesInForce; }, record);
}
} // namespace

TEST(Input, PlainLeftClicksCycleFracAndShiftAndMiddleDragsHoldTheCapture) {
    int seen[4];
    for (int& value : seen) {
        EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseDown)), InputAction::Consumed);
        EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseUp)), InputAction::Consumed);
        value = fracCounter();
    }
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[1], 2);
    EXPECT_EQ(seen[2], 0);
    EXPECT_EQ(seen[3], 1);

    EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseDown, MOUSE_LEFT, MODIFIER_SHIFT)),
              InputAction::TakeCapture);
    EXPECT_EQ(fracCounter(), 1) << "a Shift click does not advance";
    EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseUp)), InputAction::ReleaseCapture);
    EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseUp)), InputAction::Consumed)
        << "nothing left to release";
    EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseUp, MOUSE_MIDDLE)), InputAction::Consumed);
    EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseDown, MOUSE_MIDDLE)), InputAction::TakeCapture);
    EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseUp, MOUSE_MIDDLE)), InputAction::ReleaseCapture);

    for (RawEventType type : {RawEventType::MouseMove, RawEventType::MouseWheel})
        EXPECT_EQ(handleRawInput(mouse(type)), InputAction::Consumed);
    EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseDown, MOUSE_RIGHT)), InputAction::Consumed);
    EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseDown, MOUSE_OTHER)), InputAction::DefaultHandler);
    EXPECT_EQ(handleRawInput(mouse(RawEventType::DoubleClick)), InputAction::DefaultHandler);
    EXPECT_EQ(handleRawInput(raw(RawEventType::Other)), InputAction::DefaultHandler);
    EXPECT_TRUE(isRunning());
}

TEST(Input, EscapeACloseOrADestroyEndTheRunInEveryMode) {
    for (unsigned modes :
         {0u, unsigned(KEY_MODE_AUTHOR), unsigned(KEY_MODE_AUTHOR | KEY_MODE_FLY), unsigned(KEY_MODE_PAGE)}) {
        for (RawInputEvent event : {raw(RawEventType::KeyDown, KEY_ESCAPE, MODIFIER_CTRL | MODIFIER_SHIFT),
                                    raw(RawEventType::Close), raw(RawEventType::Destroy)}) {
            resetInput();
            startRunning();
            if (modes != 0)
                installRecorder(modes);
            EXPECT_EQ(handleRawInput(event), InputAction::Consumed);
            EXPECT_FALSE(isRunning()) << modes;
            EXPECT_TRUE(quitRequested());
            EXPECT_EQ(fracCounter(), 0);
        }
    }
    resetInput();
    startRunning();
}

// The release run has only Escape: the author keys are any other key there, for the system to handle.
TEST(Input, TheReleaseRunLeavesEveryOtherKeyToTheSystem) {
    for (int key : {int(KEY_SPACE), int(KEY_LEFT), int('B'), int('F'), int(KEY_F11), int('W')})
        EXPECT_EQ(handleRawInput(raw(RawEventType::KeyDown, key)), InputAction::DefaultHandler) << key;
    EXPECT_FALSE(rawInputWanted(raw(RawEventType::KeyDown, 'Q')));
    EXPECT_TRUE(isRunning());
}

TEST(Input, KeysActThroughTheTableForTheModesInForce) {
    installRecorder(KEY_MODE_AUTHOR);
    const RawEventType down = RawEventType::KeyDown;
    handleRawInput(raw(down, KEY_LEFT));
    handleRawInput(raw(down, KEY_LEFT, MODIFIER_SHIFT));
    handleRawInput(raw(down, 'B', MODIFIER_SHIFT));
    EXPECT_EQ(handleRawInput(raw(down, KEY_F11)), InputAction::ToggleFullscreen);
    EXPECT_EQ(handleRawInput(raw(down, 'Z')), InputAction::DefaultHandler) << "undo wants Ctrl";
    handleRawInput(raw(down, 'Z', MODIFIER_CTRL));
    EXPECT_EQ(handleRawInput(raw(down, 'K', MODIFIER_CTRL)), InputAction::DefaultHandler);
    EXPECT_EQ(handleRawInput(raw(down, 'W')), InputAction::DefaultHandler) << "W moves only while flying";
    const std::vector<std::pair<KeyAction, bool>> author = {{KeyAction::SeekBack, true},
                                                            {KeyAction::FineSeekBack, true},
                                                            {KeyAction::LoopStart, true},
                                                            {KeyAction::ToggleFullscreen, true},
                                                            {KeyAction::UndoFlownKeys, true}};
    EXPECT_EQ(performed, author);

    // A held key acts again only where its row repeats (the seeks scrub, a toggle acts once); flying, a
    // move's key acts on its press and its release, with Shift held or not.
    installRecorder(KEY_MODE_AUTHOR | KEY_MODE_FLY);
    RawInputEvent held = raw(down, KEY_RIGHT);
    held.repeat = true;
    handleRawInput(held);
    held.key = KEY_SPACE;
    EXPECT_EQ(handleRawInput(held), InputAction::Consumed);
    handleRawInput(raw(down, 'W', MODIFIER_SHIFT));
    handleRawInput(raw(RawEventType::KeyUp, 'W'));
    EXPECT_EQ(handleRawInput(raw(RawEventType::KeyUp, 'J')), InputAction::DefaultHandler);
    const std::vector<std::pair<KeyAction, bool>> flying = {
        {KeyAction::SeekForward, true}, {KeyAction::FlyForward, true}, {KeyAction::FlyForward, false}};
    EXPECT_EQ(performed, flying);

    // The page: F and a double click are fullscreen; keys with Ctrl, Alt or Meta stay the browser's, and so
    // do the author-only keys; any button but the left and the middle is the right one.
    installRecorder(KEY_MODE_PAGE);
    EXPECT_EQ(handleRawInput(raw(down, 'F')), InputAction::ToggleFullscreen);
    EXPECT_EQ(handleRawInput(mouse(RawEventType::DoubleClick)), InputAction::ToggleFullscreen);
    EXPECT_TRUE(rawInputWanted(raw(down, KEY_PERIOD)));
    EXPECT_TRUE(rawInputWanted(raw(down, KEY_SPACE, MODIFIER_SHIFT)));
    EXPECT_FALSE(rawInputWanted(raw(down, KEY_SPACE, MODIFIER_SUPER)));
    EXPECT_FALSE(rawInputWanted(raw(down, KEY_LEFT, MODIFIER_ALT)));
    EXPECT_FALSE(rawInputWanted(raw(down, 'B')));
    EXPECT_FALSE(rawInputWanted(raw(RawEventType::KeyUp, KEY_SPACE)));
    EXPECT_TRUE(rawInputWanted(raw(down, KEY_ESCAPE, MODIFIER_CTRL)));
    EXPECT_TRUE(rawInputWanted(mouse(RawEventType::MouseDown, MOUSE_OTHER)));
    EXPECT_FALSE(rawInputWanted(mouse(RawEventType::MouseUp, MOUSE_RIGHT)));

    // A hook that takes an event stops it there.
    setRawInputHook([](const RawInputEvent& event) { return event.type == RawEventType::MouseDown; });
    EXPECT_EQ(handleRawInput(mouse(RawEventType::MouseDown)), InputAction::Consumed);
    EXPECT_EQ(fracCounter(), 0) << "the hook took the click";
    resetInput();
}

namespace {
// The key as the README's key tables name it ("Space", "Page Up", "K", "["); "?" for one they cannot.
std::string keyName(int key) {
    static const struct {
        int key;
        const char* name;
    } NAMES[] = {
        {KEY_SPACE, "Space"},
        {KEY_LEFT, "Left"},
        {KEY_RIGHT, "Right"},
        {KEY_UP, "Up"},
        {KEY_DOWN, "Down"},
        {KEY_PAGE_UP, "Page Up"},
        {KEY_PAGE_DOWN, "Page Down"},
        {KEY_HOME, "Home"},
        {KEY_END, "End"},
        {KEY_COMMA, "Comma"},
        {KEY_PERIOD, "Period"},
        {KEY_BACKSPACE, "Backspace"},
        {KEY_ESCAPE, "Escape"},
        {KEY_ENTER, "Enter"},
        {KEY_TAB, "Tab"},
        {KEY_EQUAL, "+"},
        {KEY_KEYPAD_ADD, "+"},
        {KEY_MINUS, "-"},
        {KEY_KEYPAD_SUBTRACT, "-"},
        {KEY_LEFT_BRACKET, "["},
        {KEY_RIGHT_BRACKET, "]"},
        {KEY_F1, "F1"},
        {KEY_F2, "F2"},
        {KEY_F3, "F3"},
        {KEY_F4, "F4"},
        {KEY_F5, "F5"},
        {KEY_F6, "F6"},
        {KEY_F7, "F7"},
        {KEY_F8, "F8"},
        {KEY_F9, "F9"},
        {KEY_F10, "F10"},
        {KEY_F11, "F11"},
        {KEY_F12, "F12"},
    };
    for (const auto& named : NAMES)
        if (named.key == key)
            return named.name;
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        return std::string(1, static_cast<char>(key));
    return "?";
}
} // namespace

// No key means two things in one mode, and every key the table binds has a name the README can use.
TEST(KeyTable, NoKeyIsBoundTwiceInAModeAndEveryKeyIsNamed) {
    for (int a = 0; a < KEY_BINDING_COUNT; ++a) {
        EXPECT_NE(keyName(KEY_BINDINGS[a].key), "?") << KEY_BINDINGS[a].key;
        for (int b = a + 1; b < KEY_BINDING_COUNT; ++b) {
            const KeyBinding &x = KEY_BINDINGS[a], &y = KEY_BINDINGS[b];
            const unsigned both = ~(x.modifiers.ignored | y.modifiers.ignored);
            const bool sameKey = x.key == y.key && ((x.modifiers.held ^ y.modifiers.held) & both) == 0;
            EXPECT_FALSE(sameKey && (x.modes & y.modes) != 0) << "rows " << a << " and " << b;
        }
    }
}

namespace {
// The first cells of the README's table that follows `heading`, split into the key names they hold.
std::set<std::string> readmeKeys(const std::string& text, const std::string& heading) {
    std::set<std::string> keys;
    size_t at = text.find(heading);
    if (at == std::string::npos)
        return keys;
    at = text.find("\n|", at);
    const size_t end = text.find("\n\n", at);
    for (size_t line = at + 1; line < end; line = text.find('\n', line) + 1) {
        const size_t close = text.find('|', line + 1);
        std::string cell = text.substr(line + 1, close - line - 1);
        // "Left / Right", "W A S D / Q E", "Ctrl+Z", "B / N / Backspace", "[ / ]"
        std::string word;
        for (char c : cell + " ") {
            if (c == ' ' || c == '/' || c == ',') {
                if (!word.empty())
                    keys.insert(word.rfind("Ctrl+", 0) == 0 ? word.substr(5) : word);
                word.clear();
            } else {
                word += c;
            }
        }
    }
    return keys;
}

// The README writes two-word keys as one: "Page Up" as "Page Up" in the table; split, they are "Page", "Up".
bool named(const std::set<std::string>& keys, const std::string& name) {
    const size_t space = name.find(' ');
    if (space == std::string::npos)
        return keys.count(name) > 0;
    return keys.count(name.substr(0, space)) > 0 && keys.count(name.substr(space + 1)) > 0;
}
} // namespace

// The README's key tables say what the key table does: each binding of author mode (flying too) and of the
// page stands in its mode's table.
TEST(KeyTable, TheReadmesKeyTablesHoldEveryBinding) {
    std::ifstream in(std::string(sourceDir()) + "/README.md");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::set<std::string> author = readmeKeys(text, "In author mode (`--author`):");
    const std::set<std::string> page = readmeKeys(text, "In the browser, those of author mode");
    ASSERT_FALSE(author.empty());
    ASSERT_FALSE(page.empty());
    for (int i = 0; i < KEY_BINDING_COUNT; ++i) {
        const KeyBinding& binding = KEY_BINDINGS[i];
        const std::string name = keyName(binding.key);
        if ((binding.modes & (KEY_MODE_AUTHOR | KEY_MODE_FLY)) != 0) {
            EXPECT_TRUE(named(author, name)) << name << " (row " << i << ") is not in the author table";
        }
        if ((binding.modes & KEY_MODE_PAGE) != 0) {
            EXPECT_TRUE(named(page, name)) << name << " (row " << i << ") is not in the browser's table";
        }
    }
}
