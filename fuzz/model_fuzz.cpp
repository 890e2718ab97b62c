// Random events on the window's logic, as a user with a mouse, a keyboard and a clipboard
// of odd texts would send them, checking after each one what must always hold: no
// internal-error box, the focus never on a control that cannot have it, selections
// inside their texts, and no copy of the typed point that is not a point.
//
//   model_fuzz [events] [seed]     (defaults: 100000 events, seed 1)
//
// Prints one line per broken rule with the events that led to it, and a summary; exits 1
// when a rule was broken. Not part of the test suite: `make fuzz` runs it.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/frmTalpor.h"
#include "text/PointText.h"
#include "support/FakePlatform.h"

namespace {

using form::Control;
using form::Kind;

const std::vector<std::string> kPastes = {
    "40.4168, -3.7038", "40,4168 -3,7038", "N 40º 25' 00,5'' O 3º 42' 13''", "30T 440721 4474447",
    "30S 343523,32 4194972,57", "29T 537000 4700000", "31T 430000 4580000", "28.2916, -16.6291",
    "12 5", "-1e308", "1e309", "-95287.080.,871", std::string(309, '9') + " -3.7",
    "30T " + std::string(400, '9') + " 4474447", "40 25", "abc", "", "40.5", "-3,7", "59,99999",
    "60", "3530", "-500", "4000,1", "nan", "inf", "1.500,0", "4.474.000,00", "440721.5",
    "90, 180", "-90.0001 0.5", "40°25'0.5\"N 3°42'13\"W", "N40 25.008 W3 42.228", "0x1A",
    "\xC2\xBA\xC2\xBA", "  7  ", "-", ",", "..", "1,2,3"};

const char kKeys[] = "0123456789,.-+eE \x08\x08" "abN";  // two backspaces

int CharCount(const std::string& s) {
    int n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

struct Fuzz {
    testing_support::FakePlatform platform;
    app::frmTalpor window{platform};
    std::mt19937_64 rng;
    std::deque<std::string> recent;  // the last events, for a report
    std::vector<Control*> fields, clickable, lists, all;
    long broken = 0;

    explicit Fuzz(unsigned long long seed) : rng(seed) {
        window.Form_Load();
        window.Activate();
        for (const auto& c : window.Form().Controls()) {
            all.push_back(c.get());
            if (c->kind == Kind::TextBox) fields.push_back(c.get());
            if (c->kind == Kind::ComboBox) lists.push_back(c.get());
            // "Cerrar" would end the run; the file dialogs answer nothing here.
            if ((c->kind == Kind::CommandButton && c->id.name != "Command15") ||
                c->kind == Kind::OptionButton)
                clickable.push_back(c.get());
        }
    }

    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }
    template <typename T> T& Any(std::vector<T>& v) { return v[Pick(v.size())]; }

    void Note(std::string what) {
        recent.push_back(std::move(what));
        if (recent.size() > 25) recent.pop_front();
    }

    std::map<std::string, int> kinds;  // broken rules by their first words

    void Break(const std::string& rule) {
        ++broken;
        if (++kinds[rule.substr(0, rule.find_first_of(":«"))] > 3) return;
        std::printf("BROKEN: %s\n  after:", rule.c_str());
        for (const std::string& e : recent) std::printf(" [%s]", e.c_str());
        std::printf("\n");
    }

    // Only what the shown tab holds can be reached by the mouse or the keyboard.
    bool Reachable(const Control& c) {
        const int tab = c.tab;
        return tab < 0 || tab == window.Form().Get("SSTab1").currentTab;
    }

    Control* Field() {
        // Mostly the focused field, as keys and pastes go there.
        Control* f = window.Form().focused;
        if (f != nullptr && f->kind == Kind::TextBox && Pick(4) != 0) return f;
        return Any(fields);
    }

    void Event() {
        switch (Pick(10)) {
            case 0:
            case 1: {
                Control* c = Any(clickable);
                Note("click " + c->id.Text());
                if (Reachable(*c)) window.Click(*c);
                break;
            }
            case 2: {
                Control* c = Any(all);
                Note("focus " + c->id.Text());
                if (Reachable(*c)) window.MoveFocus(c);
                break;
            }
            case 3:
            case 4: {
                Control* f = Field();
                std::string text;
                for (std::size_t n = 1 + Pick(6); n > 0; --n) text += kKeys[Pick(sizeof kKeys - 1)];
                Note("type " + f->id.Text() + " «" + text + "»");
                // Keys reach only the field that has the focus.
                if (Reachable(*f) && window.MoveFocus(f)) window.Type(*f, text);
                break;
            }
            case 5: {
                Control* f = Field();
                const std::string& text = Any(const_cast<std::vector<std::string>&>(kPastes));
                Note("paste " + f->id.Text() + " «" + text.substr(0, 30) + "»");
                if (Reachable(*f) && window.MoveFocus(f) && !window.Paste(*f, text)) window.EditText(*f, text);
                break;
            }
            case 6: {
                const int tab = static_cast<int>(Pick(3));
                Note("tab " + std::to_string(tab));
                window.ChangeTab(tab);
                break;
            }
            case 7: {
                Control* l = Any(lists);
                if (l->items.empty()) break;
                const int i = static_cast<int>(Pick(l->items.size()));  // a user cannot pick none
                Note("list " + l->id.Text() + " " + std::to_string(i));
                window.SelectListItem(*l, i);
                break;
            }
            case 8: {
                // The calendar offers 4713 BC to 9999; the years near the limits of int
                // reach the summer-time rule through the model alone, and are put back.
                static const int kYears[] = {2026, 1900, 2100, 1, -4000, 9999, 2147483647, -2147483647 - 1};
                form::Control& calendar = window.Form().Get("MonthView1");
                const form::Date before = calendar.date;
                form::Date d{kYears[Pick(std::size(kYears))], 1 + static_cast<int>(Pick(12)),
                            1 + static_cast<int>(Pick(28))};
                Note("date " + std::to_string(d.year) + "-" + std::to_string(d.month));
                window.SetDate(calendar, d);
                if (d.year > 9999 || d.year < -4712) window.SetDate(calendar, before);
                break;
            }
            default: {
                Control* c = Any(all);
                Note("copy menu " + c->id.Text());
                if (Reachable(*c)) CheckCopies(*c);
                break;
            }
        }
    }

    void CheckCopies(Control& c) {
        const auto choices = window.CopyChoicesOf(c);
        if (!choices) return;
        // Any zone is a UTM point on "Utilidades"; the decimal degrees read back as a point.
        for (const std::string* t : {&choices->decimalDegrees, &choices->utm}) {
            if (t->empty()) continue;
            const bool degrees = t == &choices->decimalDegrees;
            const bool point = !degrees || text::ParsePoint(*t).kind == text::PastedPoint::Kind::Geographic;
            if (!point || t->find("nan") != std::string::npos || t->find("inf") != std::string::npos ||
                t->size() > 40)
            {
                std::string fields;
                for (int i : {0, 1, 2, 3, 4, 5, 7, 14, 15, 16, 17, 18})
                    fields += " " + window.Form().Get("TxtWGSg", i).text;
                Break("copy of " + c.id.Text() + " is no point: «" + t->substr(0, 60) + "»" + fields);
            }
        }
    }

    void Check() {
        for (const auto& box : platform.msgBoxes)
            if (box.title.find("Error") != std::string::npos) {
                std::string fields;
                for (const char* n : {"TxtUTMx", "TxtUTMy", "TxtUTMe", "TxtUTMn"})
                    fields += " " + window.Form().Get(n).text;
                for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 14, 15, 16, 17, 18, 25, 26})
                    fields += " " + window.Form().Get("TxtWGSg", i).text;
                Break("internal error box: " + box.text.substr(0, box.text.find('\r')) + fields);
            }
        platform.msgBoxes.clear();
        platform.files.clear();
        form::FormModel& form = window.Form();
        if (form.focused != nullptr && !form.IsUsable(*form.focused))
            Break("focus on unusable " + form.focused->id.Text());
        for (Control* f : fields) {
            const int n = CharCount(f->text);
            if (f->selStart < 0 || f->selLength < 0 || f->selStart + f->selLength > n)
                Break("selection beyond the text of " + f->id.Text() + " «" + f->text + "» " +
                      std::to_string(f->selStart) + "+" + std::to_string(f->selLength));
            if (f->maxLength > 0 && n > f->maxLength)
                Break("text longer than the field " + f->id.Text() + ": " + std::to_string(n));
        }
        if (window.MustEnd()) Break("the window ended");
    }
};

}  // namespace

int main(int argc, char** argv) {
    const long events = argc > 1 ? std::atol(argv[1]) : 100000;
    const unsigned long long seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    Fuzz fuzz(seed);
    for (long i = 0; i < events && !fuzz.window.MustEnd(); ++i) {
        fuzz.Event();
        fuzz.Check();
    }
    std::printf("%ld events, seed %llu: %ld broken rules\n", events, seed, fuzz.broken);
    return fuzz.broken == 0 ? 0 : 1;
}
