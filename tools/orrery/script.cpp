// The script host: one command per line, each a call on a headless control.
//
//   size W H                 resize the control's window
//   call Member [args...]    call a method; prints its result and by-reference outputs
//   get Property             print a property
//   let Property value       set a property
//   advance MS               advance the virtual clock (timers fire)
//   answer BUTTON            the next message box answers with this button (1 OK, 2 Cancel, 6 Yes, 7 No)
//   snapshot FILE.png        save what the window shows
//
// Arguments: whole numbers are Long, numbers with a point are Double, "text"
// is a String (with \" and \\ escapes), true/false are Boolean, and &name is
// a by-reference variable whose value is printed after the call. Lines
// starting with # are comments. Events and message boxes are printed as they
// happen.
#include "tools/orrery/script.h"

#include <cctype>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "control/events.h"
#include "control/orrery.h"
#include "platform/window/headless_backend.h"

namespace orrery::tool {

using namespace automation;

namespace {

std::string text(const Variant& v) {
    const Variant value = v.dereferenced();
    if (value.vt() == VT_BOOL) return value.isTrue() ? "True" : "False";
    if (value.vt() == VT_BSTR) return "\"" + value.str() + "\"";
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

class ScriptHost {
public:
    explicit ScriptHost(std::ostream& out) : out_(out), control_(backend_) {
        // A new control as a container creates it: defaults, no saved state.
        control_.InitProperties();
        control_.controlWindow().setWindowSize(640, 480);
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
                return S_OK;
            },
            &control::orreryEvents());
        control_.events().connect(sink);
    }

    // Returns false for a line that failed.
    bool run(const std::vector<std::string>& w) {
        const std::string& cmd = w[0];
        bool ok = true;
        if (cmd == "size" && w.size() == 3) {
            ok = control_.controlWindow().setWindowSize(std::stoi(w[1]), std::stoi(w[2])) == gdiplus::Status::Ok;
        } else if (cmd == "advance" && w.size() == 2) {
            backend_.advance(std::stoll(w[1]));
        } else if (cmd == "answer" && w.size() == 2) {
            backend_.queueMessageBoxAnswer(std::stoi(w[1]));
        } else if (cmd == "snapshot" && w.size() == 2) {
            std::unique_ptr<gdiplus::Image> shot;
            ok = control_.controlWindow().snapshot(shot) == gdiplus::Status::Ok &&
                 shot->save(w[1], gdiplus::CodecClsid::PNG, {}) == gdiplus::Status::Ok;
            out_ << "  snapshot " << w[1] << (ok ? "" : " failed") << "\n";
        } else if ((cmd == "call" || cmd == "get") && w.size() >= 2) {
            ok = invoke(w, cmd == "get" ? DISPATCH_PROPERTYGET : DISPATCH_METHOD);
        } else if (cmd == "let" && w.size() == 3) {
            ok = invoke(w, DISPATCH_PROPERTYPUT);
        } else {
            out_ << "  cannot read this line\n";
            ok = false;
        }
        reportMessageBoxes();
        return ok;
    }

private:
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
            } else {
                args.push_back(parseValue(w[i]));
            }
        }
        Variant result;
        ExcepInfo error;
        const HRESULT hr = invokeByName(control_, w[1], flags, args, &result, &error);
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

    void reportMessageBoxes() {
        const auto& boxes = backend_.messageBoxes();
        for (; reported_ < boxes.size(); ++reported_)
            out_ << "  message box (style " << boxes[reported_].request.icon << "): \""
                 << boxes[reported_].request.text << "\" answered " << boxes[reported_].answer << "\n";
    }

    std::ostream& out_;
    window::HeadlessBackend backend_;
    control::Orrery control_;
    std::map<std::string, Variant> slots_;
    size_t reported_ = 0;
};

}  // namespace

int runScript(std::istream& in, std::ostream& out) {
    ScriptHost host(out);
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

int printMembers(std::ostream& out) {
    out << control::Orrery::interfaceDescription().toText() << "\n" << control::orreryEvents().toText();
    return 0;
}

}  // namespace orrery::tool
