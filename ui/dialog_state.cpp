#include "dialog_state.h"
#include "text.h"

void History::Record(HWND combo, const std::string& name)
{
    if (!names_.empty() && names_.front() == name) return;
    names_.push_front(name);
    if (names_.size() > Capacity) names_.pop_back();
    LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    if (count != CB_ERR && count > static_cast<LRESULT>(Capacity) - 1)
        SendMessageA(combo, CB_DELETESTRING, Capacity - 1, 0);
    SendMessageA(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

std::string FieldText(HWND hDlg, int id)
{
    // The length may be told too high for multi-byte text, never too low.
    int length = GetWindowTextLengthA(GetDlgItem(hDlg, id));
    if (length <= 0) return std::string();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    UINT got = GetDlgItemTextA(hDlg, id, &text[0], length + 1);
    text.resize(got);
    return text;
}

HINSTANCE DialogInstance(HWND hDlg)
{
#ifdef _WIN64
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hDlg, GWLP_HINSTANCE));
#else
    return reinterpret_cast<HINSTANCE>(GetWindowLongA(hDlg, GWL_HINSTANCE));
#endif
}
