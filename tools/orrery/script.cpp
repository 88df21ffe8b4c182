// The script host: one command per line, each a call on a headless control.
//
//   size W H                 resize the control's window
//   call Member [args...]    call a method; prints its result and by-reference outputs
//   get Property             print a property
//   let Property value       set a property
//   advance MS               advance the virtual clock (timers fire)
//   answer BUTTON            the next message box answers with this button (1 OK, 2 Cancel, 6 Yes, 7 No)
//   input TEXT               the next input box answers with TEXT ("" quotes it; input cancel cancels)
//   snapshot FILE.png        save what the window shows
//
// Input, in client coordinates (the window's border is added):
//   down B X Y [SHIFT]       press button B (1 left, 2 right, 4 middle)
//   move X Y [SHIFT]         move the pointer (held buttons go with it)
//   up B X Y [SHIFT]         release button B
//   click [B X Y]            press and release (left, at the last position)
//   dblclick [B X Y]         the platform's double click
//   drag B X1 Y1 X2 Y2 [STEPS]  press, STEPS moves (1), release
//   wheel DELTA              wheel input at the pointer (120 a notch away from the user)
//   keydown CODE [SHIFT]     a key goes down on the focused part
//   keyup [CODE [SHIFT]]     a key comes up (the last one pressed)
//   focus control|hscroll|vscroll|corner   the host's focus, then that part's
//   blur                     the host's focus leaves the control
//   bar h|v ACTION [N]       mouse on a scroll bar: lineup, linedown, pageup,
//                            pagedown (N times, 1), thumb N (drag the thumb to value N)
//   cursor                   print the pointer shown over the control
//   press ASCII              a key press (character code) on the focused part
//   drop PATH...             files dropped on the control
//   drop-uris URI...         a text/uri-list dropped on the control
//   drop-text TEXT           data that is no file list dropped on the control
//   menu N                   the next pop-up menu answers with item N (0 dismisses)
// Event handlers (each event is printed before its handler runs):
//   on EVENT NAME=VALUE...   every EVENT writes these by-reference parameters
//   on EVENT do LINE         every EVENT runs a command line inside its handler
//   off EVENT                no handler for EVENT any more
// Values from files, handles and the clipboard (memory_commands.h):
//   bytes, string, stream, global, dib, hbitmap, hicon NAME FILE; clipboard ...
//   and $NAME as a call argument
//
// Arguments: whole numbers are Long, numbers with a point are Double, "text"
// is a String (with \" and \\ escapes), true/false are Boolean, and &name is
// a by-reference variable whose value is printed after the call. Lines
// starting with # are comments. Events and message boxes are printed as they
// happen.
#include "tools/orrery/script.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "control/events.h"
#include "control/orrery.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "tools/orrery/created_object.h"
#include "tools/orrery/memory_commands.h"
#include "tools/orrery/output.h"

namespace orrery::tool {

using namespace automation;

namespace {

std::string text(const Variant& v) {
    const Variant value = v.dereferenced();
    if (value.vt() == VT_BOOL) return value.isTrue() ? "True" : "False";
    if (value.vt() == VT_BSTR) return quotedText(value.str());
    if (value.vt() == (VT_ARRAY | VT_BSTR)) {
        std::string list = "[";
        for (const std::string& item : value.stringArray().items)
            list += (list.size() > 1 ? ", " : "") + quotedText(item);
        return list + "]";
    }
    Variant s;
    if (value.changeType(VT_BSTR, s) == S_OK) return s.str();
    return "<type " + std::to_string(value.vt()) + ">";
}

// Splits a line into words; a quoted word keeps its spaces.
bool splitWords(const std::string& line, std::vector<std::string>& words) {
    size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            word = "\"";
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '\\' && i < line.size()) {
                    word += line[i++];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    word += c;
                }
            }
            if (!closed) return false;
        } else {
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) word += line[i++];
        }
        words.push_back(word);
    }
    return true;
}

Variant parseValue(const std::string& word) {
    if (!word.empty() && word[0] == '"') return Variant(word.substr(1));
    if (word == "true" || word == "True") return Variant(true);
    if (word == "false" || word == "False") return Variant(false);
    char* end = nullptr;
    if (word.find_first_of(".eE") == std::string::npos) {
        long v = std::strtol(word.c_str(), &end, 0);
        if (end && *end == 0) return Variant(static_cast<int32_t>(v));
    }
    double d = std::strtod(word.c_str(), &end);
    if (end && *end == 0 && !word.empty()) return Variant(d);
    return Variant(word);
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool parseInt(const std::string& word, int32_t& out) {
    char* end = nullptr;
    const long v = std::strtol(word.c_str(), &end, 0);
    if (word.empty() || *end != 0 || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool parseFloat(const std::string& word, float& out) {
    char* end = nullptr;
    const float v = std::strtof(word.c_str(), &end);
    if (word.empty() || *end != 0) return false;
    out = v;
    return true;
}

// What a script's handler does each time its event is raised.
struct Handler {
    std::vector<std::pair<std::string, Variant>> writes;
    std::vector<std::vector<std::string>> lines;  // commands run inside the handler
};

class ScriptHost {
public:
    // An empty `progId` makes an Orrery control.
    ScriptHost(std::ostream& out, const std::string& progId) : out_(out) {
        created_ = createObject(progId, backend_, object_);
        control_ = object_.control;
        if (!control_) return;
        // A new control as a container creates and shows it: defaults, no
        // saved state.
        control_->InitProperties();
        control_->controlWindow().setWindowSize(640, 480);
        control_->Show();
        auto sink = std::make_shared<FunctionSink>(
            [this](DISPID id, std::span<Variant> args) {
                const MemberInfo* e = control::orreryEvents().find(id);
                out_ << "  event " << (e ? e->name : std::to_string(id));
                if (!args.empty()) {
                    out_ << "(";
                    for (size_t i = 0; i < args.size(); ++i) out_ << (i ? ", " : "") << text(args[i]);
                    out_ << ")";
                }
                out_ << "\n";
                if (e) runHandler(*e, args);
                return S_OK;
            },
            &control::orreryEvents());
        control_->events().connect(sink);
    }

    automation::HRESULT created() const { return created_; }

    // Returns false for a line that failed.
    bool run(const std::vector<std::string>& w) {
        const std::string& cmd = w[0];
        bool ok = true;
        if (!control_ && !worksWithoutWindow(cmd)) {
            out_ << "  " << cmd << " needs a control: this object has no window\n";
            return false;
        }
        if (cmd == "size" && w.size() == 3) {
            ok = control_->controlWindow().setWindowSize(std::stoi(w[1]), std::stoi(w[2])) == gdiplus::Status::Ok;
        } else if (cmd == "advance" && w.size() == 2) {
            backend_.advance(std::stoll(w[1]));
        } else if (cmd == "answer" && w.size() == 2) {
            backend_.queueMessageBoxAnswer(std::stoi(w[1]));
        } else if (cmd == "input" && w.size() == 2) {
            if (w[1] == "cancel") backend_.queueInputBoxCancel();
            else backend_.queueInputBoxAnswer(w[1][0] == '"' ? w[1].substr(1) : w[1]);
        } else if (cmd == "snapshot" && w.size() == 2) {
            std::unique_ptr<gdiplus::Image> shot;
            ok = control_->controlWindow().snapshot(shot) == gdiplus::Status::Ok &&
                 shot->save(w[1], gdiplus::CodecClsid::PNG, {}) == gdiplus::Status::Ok;
            out_ << "  snapshot " << w[1] << (ok ? "" : " failed") << "\n";
        } else if (isInputCommand(cmd)) {
            ok = input(w);
        } else if (cmd == "on" && w.size() >= 3 && (w[2] == "do" || w[2].find('=') != std::string::npos)) {
            ok = setHandler(w);
        } else if (cmd == "off" && w.size() == 2) {
            handlers_.erase(w[1]);
        } else if (MemoryValues::isCommand(cmd)) {
            ok = values_.run(w, backend_.clipboard(), out_);
        } else if (cmd == "safety") {
            ok = safetyCommand(*object_.object, w, out_);
        } else if ((cmd == "call" || cmd == "get") && w.size() >= 2) {
            ok = invoke(w, cmd == "get" ? DISPATCH_PROPERTYGET : DISPATCH_METHOD);
        } else if (cmd == "let" && w.size() == 3) {
            ok = invoke(w, DISPATCH_PROPERTYPUT);
        } else {
            out_ << "  cannot read this line\n";
            ok = false;
        }
        reportMenus();
        reportInputBoxes();
        reportMessageBoxes();
        return ok;
    }

private:
    // --- Event handlers -------------------------------------------------------

    bool setHandler(const std::vector<std::string>& w) {
        const MemberInfo* event = control::orreryEvents().find(w[1]);
        if (!event) {
            out_ << "  no event " << w[1] << "\n";
            return false;
        }
        Handler& h = handlers_[event->name];
        if (w[2] == "do") {
            if (w.size() < 4) return false;
            h.lines.emplace_back(w.begin() + 3, w.end());
            return true;
        }
        for (size_t i = 2; i < w.size(); ++i) {
            const size_t eq = w[i].find('=');
            if (eq == std::string::npos || eq == 0) return false;
            // NAME="text" keeps its quotes inside the word: the quotes enclose a String.
            const std::string value = w[i].substr(eq + 1);
            const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
            h.writes.emplace_back(w[i].substr(0, eq),
                                  quoted ? Variant(value.substr(1, value.size() - 2)) : parseValue(value));
        }
        return true;
    }

    void runHandler(const MemberInfo& event, std::span<Variant> args) {
        auto it = handlers_.find(event.name);
        if (it == handlers_.end()) return;
        // A copy: a command of the handler may change the handlers.
        const Handler h = it->second;
        for (const auto& [name, value] : h.writes) {
            for (size_t i = 0; i < event.params.size() && i < args.size(); ++i) {
                if (!sameName(event.params[i].name, name) || !args[i].isByRef()) continue;
                if (args[i].assignThroughRef(value) == S_OK)
                    out_ << "    " << name << " set to " << text(value) << "\n";
                else
                    out_ << "    " << name << " does not take " << text(value) << "\n";
            }
        }
        if (depth_ >= kMaxHandlerDepth) return;
        ++depth_;
        for (const auto& line : h.lines) {
            out_ << "    do:";
            for (const std::string& word : line) out_ << " " << word;
            out_ << "\n";
            run(line);
        }
        --depth_;
    }

    // --- Input ------------------------------------------------------------------

    // Lines that need only the dispatch interface and the host.
    static bool worksWithoutWindow(const std::string& cmd) {
        static const char* const commands[] = {"call", "get", "let", "safety", "advance", "answer", "input", "on", "off"};
        return std::any_of(std::begin(commands), std::end(commands), [&](const char* c) { return cmd == c; });
    }

    static bool isInputCommand(const std::string& cmd) {
        static const char* const commands[] = {"down",    "move",  "up",    "click", "dblclick", "drag",  "wheel",
                                               "keydown", "keyup", "focus", "blur",  "bar",      "cursor",
                                               "press",   "drop",  "drop-uris", "drop-text", "menu"};
        return std::any_of(std::begin(commands), std::end(commands), [&](const char* c) { return cmd == c; });
    }

    window::ControlWindow& window() { return control_->controlWindow(); }
    float border() { return static_cast<float>(window().borderWidth()); }

    // Reads numbers from w[first...]; false when one is missing or malformed.
    static bool numbers(const std::vector<std::string>& w, size_t first, std::initializer_list<float*> out) {
        size_t i = first;
        for (float* v : out) {
            if (i >= w.size() || !parseFloat(w[i++], *v)) return false;
        }
        return true;
    }

    static int32_t optionalInt(const std::vector<std::string>& w, size_t i, int32_t fallback) {
        int32_t v = fallback;
        if (i < w.size()) parseInt(w[i], v);
        return v;
    }

    bool input(const std::vector<std::string>& w) {
        const std::string& cmd = w[0];
        window::ControlWindow& win = window();
        float button = 1, x = lastX_, y = lastY_;
        if (cmd == "down" || cmd == "up") {
            if (!numbers(w, 1, {&button, &x, &y})) return false;
            remember(x, y);
            const int32_t shift = optionalInt(w, 4, 0);
            if (cmd == "down") backend_.mouseDown(win, static_cast<int32_t>(button), shift, x + border(), y + border());
            else backend_.mouseUp(win, static_cast<int32_t>(button), shift, x + border(), y + border());
        } else if (cmd == "move") {
            if (!numbers(w, 1, {&x, &y})) return false;
            remember(x, y);
            backend_.mouseMove(win, optionalInt(w, 3, 0), x + border(), y + border());
        } else if (cmd == "click" || cmd == "dblclick") {
            if (w.size() > 1 && !numbers(w, 1, {&button, &x, &y})) return false;
            remember(x, y);
            if (cmd == "click") backend_.click(win, static_cast<int32_t>(button), 0, x + border(), y + border());
            else backend_.doubleClick(win, static_cast<int32_t>(button), 0, x + border(), y + border());
        } else if (cmd == "drag") {
            float x2 = 0, y2 = 0;
            if (!numbers(w, 1, {&button, &x, &y, &x2, &y2})) return false;
            drag(static_cast<int32_t>(button), x, y, x2, y2, std::max(optionalInt(w, 6, 1), 1));
        } else if (cmd == "wheel") {
            int32_t delta = 0;
            if (w.size() != 2 || !parseInt(w[1], delta)) return false;
            backend_.wheel(win, delta, 0, lastX_ + border(), lastY_ + border());
        } else if (cmd == "keydown") {
            if (w.size() < 2 || !parseInt(w[1], lastKey_)) return false;
            lastKeyShift_ = optionalInt(w, 2, 0);
            backend_.keyDown(win, lastKey_, lastKeyShift_);
        } else if (cmd == "keyup") {
            int32_t key = lastKey_;
            if (w.size() > 1 && !parseInt(w[1], key)) return false;
            backend_.keyUp(win, key, optionalInt(w, 2, lastKeyShift_));
        } else if (cmd == "focus") {
            return w.size() == 2 && focus(w[1]);
        } else if (cmd == "blur") {
            backend_.blur();
        } else if (cmd == "bar") {
            return w.size() >= 3 && bar(w);
        } else if (cmd == "cursor") {
            out_ << "  cursor " << backend_.cursorOf(win).pointer << "\n";
        } else if (cmd == "press") {
            int32_t ascii = 0;
            if (w.size() != 2 || !parseInt(w[1], ascii)) return false;
            backend_.keyPress(win, ascii);
        } else if (cmd == "drop" || cmd == "drop-uris") {
            std::vector<std::string> items;
            for (size_t i = 1; i < w.size(); ++i) items.push_back(w[i][0] == '"' ? w[i].substr(1) : w[i]);
            if (cmd == "drop") backend_.dropFiles(win, items);
            else backend_.dropUris(win, items);
        } else if (cmd == "drop-text") {
            if (w.size() != 2) return false;
            backend_.dropText(win, w[1]);
        } else if (cmd == "menu") {
            int32_t item = 0;
            if (w.size() != 2 || !parseInt(w[1], item)) return false;
            backend_.queuePopupMenuAnswer(item);
        }
        return true;
    }

    void remember(float x, float y) {
        lastX_ = x;
        lastY_ = y;
    }

    void drag(int32_t button, float x1, float y1, float x2, float y2, int32_t steps) {
        window::ControlWindow& win = window();
        const float b = border();
        backend_.mouseDown(win, button, 0, x1 + b, y1 + b);
        for (int32_t i = 1; i <= steps; ++i) {
            const float t = static_cast<float>(i) / static_cast<float>(steps);
            backend_.mouseMove(win, 0, x1 + (x2 - x1) * t + b, y1 + (y2 - y1) * t + b);
        }
        backend_.mouseUp(win, button, 0, x2 + b, y2 + b);
        remember(x2, y2);
    }

    bool focus(const std::string& part) {
        static const std::map<std::string, window::FocusTarget> parts = {{"control", window::FocusTarget::Control},
                                                                         {"hscroll", window::FocusTarget::HScroll},
                                                                         {"vscroll", window::FocusTarget::VScroll},
                                                                         {"corner", window::FocusTarget::Corner}};
        const auto it = parts.find(part);
        if (it == parts.end()) return false;
        backend_.focus(window());
        if (window().setFocus(it->second)) return true;
        out_ << "  " << part << " takes no focus\n";
        return false;
    }

    // A press and release at a point in window coordinates.
    void press(float x, float y, float toX, float toY) {
        backend_.mouseDown(window(), window::vbLeftButton, 0, x, y);
        if (toX != x || toY != y) backend_.mouseMove(window(), 0, toX, toY);
        backend_.mouseUp(window(), window::vbLeftButton, 0, toX, toY);
    }

    // Mouse actions on a scroll bar's own parts.
    bool bar(const std::vector<std::string>& w) {
        if (w[1] != "h" && w[1] != "v") return false;
        const bool horizontal = w[1] == "h";
        const window::ScrollBar& b =
            window().scrollBar(horizontal ? window::ScrollBarId::Horizontal : window::ScrollBarId::Vertical);
        // A point along the bar, across its middle, in window coordinates.
        auto at = [&](int along, float& x, float& y) {
            const window::Rect& g = b.geometry();
            const float across = static_cast<float>(horizontal ? g.height : g.width) / 2;
            x = border() + static_cast<float>(g.x) + (horizontal ? static_cast<float>(along) : across);
            y = border() + static_cast<float>(g.y) + (horizontal ? across : static_cast<float>(along));
        };
        auto span = [&](const window::Rect& r, int& from, int& to) {
            from = b.along(r.x, r.y);
            to = from + b.along(r.width, r.height);
        };
        const std::string& action = w[2];
        float x = 0, y = 0, toX = 0, toY = 0;
        if (action == "thumb") {
            int32_t target = 0;
            if (w.size() != 4 || !parseInt(w[3], target) || !b.hasThumb()) return false;
            int thumbFrom = 0, thumbTo = 0, trackFrom = 0, trackTo = 0;
            span(b.layout().thumb, thumbFrom, thumbTo);
            span(b.layout().track, trackFrom, trackTo);
            // The leading edge whose value comes nearest the target.
            int best = b.thumbStart();
            for (int p = trackFrom; p <= trackTo; ++p) {
                if (std::abs(b.valueForThumbStart(p) - target) < std::abs(b.valueForThumbStart(best) - target))
                    best = p;
            }
            const int grab = (thumbTo - thumbFrom) / 2;
            at(b.thumbStart() + grab, x, y);
            at(best + grab, toX, toY);
            press(x, y, toX, toY);
            return true;
        }
        if (action != "lineup" && action != "linedown" && action != "pageup" && action != "pagedown") return false;
        const int32_t times = std::max(optionalInt(w, 3, 1), 1);
        for (int32_t i = 0; i < times; ++i) {
            // The track's parts move with the thumb: find them anew each time.
            const window::ScrollBar::Layout parts = b.layout();
            int from = 0, to = 0;
            if (action == "lineup") {
                span(parts.arrowBack, from, to);
            } else if (action == "linedown") {
                span(parts.arrowForward, from, to);
            } else {
                int thumbFrom = 0, thumbTo = 0, trackFrom = 0, trackTo = 0;
                span(parts.thumb, thumbFrom, thumbTo);
                span(parts.track, trackFrom, trackTo);
                from = action == "pageup" ? trackFrom : thumbTo;
                to = action == "pageup" ? thumbFrom : trackTo;
            }
            if (to - from < 1) return false;
            at((from + to) / 2, x, y);
            press(x, y, x, y);
        }
        return true;
    }

    bool invoke(const std::vector<std::string>& w, uint16_t flags) {
        std::vector<Variant> args;
        std::vector<std::pair<std::string, size_t>> outputs;
        args.reserve(w.size());
        // By-reference variables live in `slots_` so that a name keeps its value
        // from one line to the next.
        for (size_t i = 2; i < w.size(); ++i) {
            if (w[i].size() > 1 && w[i][0] == '&') {
                Variant& slot = slots_[w[i].substr(1)];
                args.push_back(Variant::referenceTo(slot));
                outputs.emplace_back(w[i].substr(1), args.size() - 1);
            } else if (w[i].size() > 1 && w[i][0] == '$' && values_.find(w[i].substr(1))) {
                args.push_back(*values_.find(w[i].substr(1)));
            } else {
                args.push_back(parseValue(w[i]));
            }
        }
        Variant result;
        ExcepInfo error;
        const HRESULT hr = invokeByName(*object_.dispatch, w[1], flags, args, &result, &error);
        if (hr != S_OK) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(hr));
            out_ << "  " << w[1] << " failed: " << code << (error.description.empty() ? "" : " " + error.description)
                 << "\n";
            return false;
        }
        if (flags != DISPATCH_PROPERTYPUT && !result.isEmpty()) out_ << "  " << w[1] << " = " << text(result) << "\n";
        for (const auto& [name, index] : outputs) out_ << "  " << name << " = " << text(slots_[name]) << "\n";
        return true;
    }

    void reportMenuItems(const std::vector<window::MenuItem>& items, int depth) {
        for (const window::MenuItem& item : items) {
            out_ << std::string(static_cast<size_t>(depth) * 2 + 4, ' ');
            if (item.separator) {
                out_ << "-\n";
                continue;
            }
            out_ << item.id << " \"" << item.caption << "\"" << (item.checked ? " checked" : "")
                 << (item.enabled ? "" : " disabled") << "\n";
            reportMenuItems(item.items, depth + 1);
        }
    }

    void reportMenus() {
        const auto& menus = backend_.popupMenus();
        for (; reportedMenus_ < menus.size(); ++reportedMenus_) {
            const auto& menu = menus[reportedMenus_];
            out_ << "  menu at (" << menu.request.x << ", " << menu.request.y << ") answered " << menu.answer << "\n";
            reportMenuItems(menu.request.items, 0);
        }
    }

    void reportInputBoxes() {
        const auto& boxes = backend_.inputBoxes();
        for (; reportedInputs_ < boxes.size(); ++reportedInputs_) {
            const auto& box = boxes[reportedInputs_];
            out_ << "  input box \"" << box.request.prompt << "\" (" << box.request.title << ") "
                 << (box.answer ? "answered \"" + *box.answer + "\"" : std::string("cancelled")) << "\n";
        }
    }

    void reportMessageBoxes() {
        const auto& boxes = backend_.messageBoxes();
        for (; reported_ < boxes.size(); ++reported_)
            out_ << "  message box (style " << boxes[reported_].request.icon << "): \""
                 << boxes[reported_].request.text << "\" answered " << boxes[reported_].answer << "\n";
    }

    std::ostream& out_;
    window::HeadlessBackend backend_;
    CreatedObject object_;
    automation::HRESULT created_ = S_OK;
    control::Orrery* control_ = nullptr;  // null for an object without a window
    std::map<std::string, Variant> slots_;
    MemoryValues values_;
    size_t reported_ = 0;
    size_t reportedInputs_ = 0;
    size_t reportedMenus_ = 0;
    std::map<std::string, Handler> handlers_;
    static constexpr int kMaxHandlerDepth = 4;
    int depth_ = 0;
    float lastX_ = 0, lastY_ = 0;
    int32_t lastKey_ = 0, lastKeyShift_ = 0;
};

}  // namespace

int runScript(std::istream& in, std::ostream& out, const std::string& progId) {
    ScriptHost host(out, progId);
    if (failed(host.created())) {
        out << "cannot create " << progId << ": " << resultCode(host.created()) << "\n";
        return 1;
    }
    std::string line;
    int code = 0;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<std::string> words;
        if (!splitWords(line, words)) {
            out << number << ": unterminated string\n";
            return 2;
        }
        if (words.empty() || words[0][0] == '#') continue;
        out << number << ": " << line << "\n";
        if (!host.run(words)) code = 1;
    }
    return code;
}

int printMembers(std::ostream& out, const std::string& progId) {
    window::HeadlessBackend backend;
    CreatedObject created;
    if (HRESULT hr = createObject(progId, backend, created); failed(hr)) {
        out << "cannot create " << progId << ": " << resultCode(hr) << "\n";
        return 1;
    }
    out << created.dispatch->typeDescription()->toText();
    if (created.control) out << "\n" << created.control->events().description().toText();
    return 0;
}

}  // namespace orrery::tool
