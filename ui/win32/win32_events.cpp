// Win32 implementation: what the windows are told, turned into the program's events, and the
// table's cell colours drawn through custom draw.
#include <algorithm>
#include <utility>

#include "ui/win32/win32_backend.h"

namespace kv::ui {
namespace {

void Report(int kind, int window, int object, int type) {
    ToolkitEvents().Produce(Event{kind, window, object, type});
}

// The notifications of one choice in a drop-down list come in an order that differs between
// versions of the common controls (selection changed before or after "ended with OK", the
// latter also for keys on the closed list, sometimes both). Each choice of the user is
// reported once, also a choice of the entry already selected: that is how a user reopens a
// port whose adapter was pulled out and plugged back.
void OnListNotification(int window, int control, Win32Control& list, WORD code) {
    Win32ListChoice& choice = list.choice;
    const int selected = win32::ComboSelection(list.hwnd);
    switch (code) {
        case CBN_DROPDOWN:
            // Sent before the list shows: a bound handler may refill it, so the selection to
            // compare with later is the one after the handler.
            if (!std::exchange(choice.quietOpening, false))
                Report(ControlEvent, window, control, DroppedDown);
            choice.dropped = true;
            choice.selectionAtDrop = win32::ComboSelection(list.hwnd);
            choice.reportedWhileDropped = false;
            break;
        case CBN_SELENDOK:
            if (choice.dropped) choice.reportedWhileDropped = true;
            choice.lastReported = selected;
            Report(ControlEvent, window, control, Changed);
            break;
        case CBN_SELCHANGE: {
            // While the list is open, moving through it is not yet a choice.
            if (choice.dropped) break;
            const bool alreadyReported = selected == choice.lastReported;
            choice.lastReported = Win32ListChoice::NoneReported;
            if (!alreadyReported) Report(ControlEvent, window, control, Changed);
            break;
        }
        case CBN_CLOSEUP:
            choice.dropped = false;
            // Closed without "OK" (focus lost, say) on another entry than before: still the
            // user's doing.
            if (!choice.reportedWhileDropped && selected != choice.selectionAtDrop) {
                choice.lastReported = selected;
                Report(ControlEvent, window, control, Changed);
            }
            break;
        default:
            break;
    }
}

// The up-down announces a step before it moves (UDN_DELTAPOS) and tells its parent after,
// moved or not (WM_VSCROLL): Changed when the value moved, then the direction.
void FinishSpinStep(int window, int control, Win32Control& spin) {
    if (!spin.step.pending) return;
    spin.step.pending = false;
    BOOL failed = FALSE;
    const int value = static_cast<int>(
        SendMessageW(spin.arrows, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
    if (value != spin.step.oldValue) Report(ControlEvent, window, control, Changed);
    if (spin.step.delta != 0)
        Report(ControlEvent, window, control, spin.step.delta > 0 ? SteppedUp : SteppedDown);
}

// The list view asks for a row's tip; the cell under the pointer decides what it says. The
// tip prepared by the list view (a cut-off label) stays when the program has none.
void ShowCellTip(int window, int control, const Win32Control& table, NMLVGETINFOTIPW& tip) {
    constexpr int CellTextLimit = 512;
    LVHITTESTINFO hit{};
    GetCursorPos(&hit.pt);
    ScreenToClient(table.hwnd, &hit.pt);
    if (SendMessageW(table.hwnd, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0) return;
    wchar_t text[CellTextLimit] = {};
    LVITEMW item{};
    item.iSubItem = hit.iSubItem;
    item.pszText = text;
    item.cchTextMax = CellTextLimit;
    SendMessageW(table.hwnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(hit.iItem),
                 reinterpret_cast<LPARAM>(&item));
    const std::u16string shown = CellTipText(window, control, hit.iItem, hit.iSubItem,
                                             reinterpret_cast<const char16_t*>(text));
    if (shown.empty() || !tip.pszText || tip.cchTextMax <= 0) return;
    const size_t room = static_cast<size_t>(tip.cchTextMax) - 1;
    const size_t count = std::min(room, shown.size());
    std::copy_n(shown.begin(), count, reinterpret_cast<char16_t*>(tip.pszText));
    tip.pszText[count] = L'\0';
}

LRESULT DrawTableCell(const Win32Control& table, NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const int row = static_cast<int>(draw.nmcd.dwItemSpec);
            // A selected row keeps the selection's colours.
            if (SendMessageW(table.hwnd, LVM_GETITEMSTATE, static_cast<WPARAM>(row),
                             LVIS_SELECTED) &
                LVIS_SELECTED)
                return CDRF_DODEFAULT;
            const int32_t colour = Win32Toolkit::TableCellColour(table, row, draw.iSubItem);
            // Set for every cell: the control hands the previous cell's choice on otherwise.
            draw.clrTextBk =
                colour == DefaultColour ? GetSysColor(COLOR_WINDOW) : static_cast<COLORREF>(colour);
            return CDRF_DODEFAULT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

}  // namespace

bool Win32Toolkit::OnChildMessage(int window, UINT message, WPARAM wParam, LPARAM lParam,
                                  LRESULT& result) {
    Win32Window* w = FindTop(window);
    if (!w) return false;
    auto controlOf = [&](HWND hwnd) -> std::pair<int, Win32Control*> {
        auto found = w->byHandle.find(hwnd);
        if (found == w->byHandle.end()) return {-1, nullptr};
        return {found->second, Find(window, found->second)};
    };
    switch (message) {
        case WM_COMMAND: {
            auto [id, c] = controlOf(reinterpret_cast<HWND>(lParam));
            if (!c || lParam == 0) return false;
            const WORD code = HIWORD(wParam);
            if (c->kind == Win32Kind::CheckBox && code == BN_CLICKED)
                Report(ControlEvent, window, id, Clicked);
            else if (c->kind == Win32Kind::DropDownList)
                OnListNotification(window, id, *c, code);
            result = 0;
            return true;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->hwndFrom == w->toolTips && header->code == TTN_GETDISPINFOW) {
                Win32StatusBar* bar = FindBar(w->statusBar);
                if (!bar || reinterpret_cast<HWND>(header->idFrom) != bar->hwnd) return false;
                POINT pointer{};
                GetCursorPos(&pointer);
                const std::u16string tip = StatusTip(*bar, pointer);
                shownTip_.assign(tip.begin(), tip.end());
                reinterpret_cast<NMTTDISPINFOW*>(lParam)->lpszText = shownTip_.data();
                result = 0;
                return true;
            }
            auto [id, c] = controlOf(header->hwndFrom);
            if (!c) return false;
            if (c->kind == Win32Kind::SpinBox && header->code == UDN_DELTAPOS) {
                auto* step = reinterpret_cast<NMUPDOWN*>(lParam);
                c->step = Win32SpinStep{true, step->iPos, step->iDelta};
                result = 0;  // let it step
                return true;
            }
            if (c->kind == Win32Kind::Table && header->code == NM_CUSTOMDRAW) {
                result = DrawTableCell(*c, *reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
                return true;
            }
            if (c->kind == Win32Kind::Table && header->code == LVN_GETINFOTIPW) {
                ShowCellTip(window, id, *c, *reinterpret_cast<NMLVGETINFOTIPW*>(lParam));
                result = 0;
                return true;
            }
            if (c->kind == Win32Kind::Table && header->code == LVN_ITEMCHANGED) {
                const auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
                if (change->uChanged & LVIF_STATE) Report(ControlEvent, window, id, Changed);
            }
            return false;
        }
        case WM_VSCROLL: {
            auto [id, c] = controlOf(reinterpret_cast<HWND>(lParam));
            if (!c || c->kind != Win32Kind::SpinBox) return false;
            if (LOWORD(wParam) == SB_THUMBPOSITION) FinishSpinStep(window, id, *c);
            result = 0;
            return true;
        }
        case WM_CTLCOLORSTATIC: {
            // A spin box field that cannot be typed into still looks like a number field.
            auto [id, c] = controlOf(reinterpret_cast<HWND>(lParam));
            if (!c || c->kind != Win32Kind::SpinBox) return false;
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            return true;
        }
        default:
            return false;
    }
}

void Win32Toolkit::RestoreFocus(Win32Window& window, HWND candidate) {
    const auto usable = [&](HWND control) {
        return control && IsChild(window.hwnd, control) && IsWindowVisible(control) &&
               IsWindowEnabled(control);
    };
    HWND target = usable(candidate)          ? candidate
                  : usable(window.lastFocus) ? window.lastFocus
                                             : GetNextDlgTabItem(window.hwnd, nullptr, FALSE);
    window.lastFocus = target;
    if (target && GetFocus() != target) SetFocus(target);
}

LRESULT Win32Toolkit::OnTopMessage(int window, HWND hwnd, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            // Close button, system menu, Alt+F4: the program decides; the window stays.
            Report(CloseEvent, window, 0, 0);
            return 0;
        case WM_COMMAND:
            if (lParam == 0 && HIWORD(wParam) == 0) {
                const int id = LOWORD(wParam);
                if (id >= win32::MenuIdBase && id < win32::StatusBarIdBase)
                    Report(MenuEvent, window, id - win32::MenuIdBase, 0);
                return 0;
            }
            break;
        case WM_SIZE:
            if (Win32Window* w = FindTop(window)) PlaceStatusBar(*w);
            FollowWindowSize(window);
            return 0;
        case WM_GETMINMAXINFO:
            if (Win32Window* w = FindTop(window); w && (w->minimumWidth || w->minimumHeight)) {
                const SIZE least = OuterSize(*w, w->minimumWidth, w->minimumHeight);
                auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
                limits->ptMinTrackSize.x = std::max(limits->ptMinTrackSize.x, least.cx);
                limits->ptMinTrackSize.y = std::max(limits->ptMinTrackSize.y, least.cy);
                return 0;
            }
            break;
        // As in a dialog box: the control that had the keyboard when the window went inactive
        // (another program came to the front, the window was minimised) gets it back.
        case WM_ACTIVATE:
            if (Win32Window* w = FindTop(window)) {
                if (LOWORD(wParam) == WA_INACTIVE) {
                    HWND focus = GetFocus();
                    if (focus && IsChild(hwnd, focus)) w->lastFocus = focus;
                } else if (!HIWORD(wParam)) {  // activated, and not minimised
                    RestoreFocus(*w, GetFocus());
                }
            }
            return 0;
        case WM_SETFOCUS:
            // The window itself got the keyboard (restored from the taskbar): hand it on, to
            // the control that had it until now when there is one.
            if (Win32Window* w = FindTop(window)) RestoreFocus(*w, reinterpret_cast<HWND>(wParam));
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // Once this returns, Windows may end the process at any moment; a window already
            // hidden is one whose program is shutting down by now.
            if (wParam && IsWindowVisible(hwnd)) {
                Report(CloseEvent, window, 0, 0);
                if (sessionEndAction_) sessionEndAction_();
            }
            return 0;
        default:
            break;
    }
    LRESULT result = 0;
    if (OnChildMessage(window, message, wParam, lParam, result)) return result;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace kv::ui
