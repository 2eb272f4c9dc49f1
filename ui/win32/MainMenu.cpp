// The main menu in Win32, built from the window's menu layout: every item
// runs its command, every menu of the bar runs its handler as it opens.
// Each item shows its image of ImageList1 beside the caption; the switches
// and the options also carry the menu's own check and radio state, so that
// the system (and a screen reader) reports them.
#include "MainWindow.h"

namespace {

bool IsSwitch(TMenuId item)
{
    switch (item) {
    case TMenuId::AutoSaveChanges1:
    case TMenuId::PassKeypressestoVantorix:
    case TMenuId::UseFFT1:
    case TMenuId::Runminimized1:
    case TMenuId::StayOnTop1:
    case TMenuId::Triggerfaders1:
    case TMenuId::SoundCard1:
    case TMenuId::Low1:
    case TMenuId::Medium1:
    case TMenuId::High1:
    case TMenuId::None1:
    case TMenuId::Realtime1:
    case TMenuId::Timeline1: return true;
    default: return false;
    }
}

}  // namespace

void TVxSoundWindow::BuildMenu()
{
    MainMenu1 = ::CreateMenu();
    HMENU open[3] = {MainMenu1, nullptr, nullptr};
    for (const TMenuLine& line : MenuLayout()) {
        HMENU parent = open[line.Depth];
        if (line.Caption == nullptr) {
            ::AppendMenuA(parent, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const std::string hint = line.HintText != nullptr ? line.HintText : "";
        if (line.Item < 0) {
            HMENU popup = ::CreatePopupMenu();
            ::AppendMenuA(parent, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), line.Caption);
            menus_.emplace_back(line.Name, popup);
            menuHints_.emplace_back(static_cast<UINT>(reinterpret_cast<UINT_PTR>(popup) & 0xFFFFFFFFu), hint);
            if (line.Depth == 0 && line.Click != nullptr)
                menuOpeners_.emplace_back(popup, line.Click);
            open[line.Depth + 1] = popup;
            continue;
        }
        const auto id = static_cast<TMenuId>(line.Item);
        const TMenuItem& item = App.Item(id);
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
        info.fType = MFT_STRING | (item.GroupIndex != 0 ? MFT_RADIOCHECK : 0);
        info.wID = MenuCommand(id);
        info.dwTypeData = const_cast<char*>(line.Caption);
        ::InsertMenuItemA(parent, ::GetMenuItemCount(parent), TRUE, &info);
        itemMenus_[static_cast<std::size_t>(line.Item)] = parent;
        menuHints_.emplace_back(MenuCommand(id), hint);
        ShowMenuItem(id, item.Tag, item.ImageIndex);
    }
    ::SetMenu(Handle, MainMenu1);
}

HMENU TVxSoundWindow::Menu(const char* name) const
{
    for (const auto& [n, menu] : menus_)
        if (n == name)
            return menu;
    return nullptr;
}

void TVxSoundWindow::ShowMenuItem(TMenuId item, int tag, int imageIndex)
{
    const auto i = static_cast<std::size_t>(item);
    HMENU menu = itemMenus_[i];
    if (menu == nullptr)
        return;
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    if (IsSwitch(item)) {
        info.fMask |= MIIM_STATE;
        info.fState = tag == 1 ? MFS_CHECKED : MFS_UNCHECKED;
    }
    // The image is drawn by the window (WM_DRAWITEM), with the silver
    // background left out: a bitmap's transparency is not drawn alike by
    // every system.
    if (images_[i] != imageIndex) {
        images_[i] = imageIndex;
        info.fMask |= MIIM_BITMAP;
        info.hbmpItem = imageIndex >= 0 && imageIndex < TImageList::kCount ? HBMMENU_CALLBACK : nullptr;
    }
    if (info.fMask != 0)
        ::SetMenuItemInfoA(menu, MenuCommand(item), FALSE, &info);
}

HICON TVxSoundWindow::MenuIcon(int imageIndex)
{
    if (imageIndex < 0 || imageIndex >= TImageList::kCount)
        return nullptr;
    HICON& icon = menuIcons_[static_cast<std::size_t>(imageIndex)];
    if (icon == nullptr)
        icon = TImageList::Icon(imageIndex, Scaled(TImageList::kSize));
    return icon;
}

void TVxSoundWindow::DrawMenuImage(const DRAWITEMSTRUCT& item)
{
    const UINT first = MenuCommand(TMenuId::AutoSaveChanges1);
    if (item.itemID < first || item.itemID >= first + kMenuItems)
        return;
    HICON icon = MenuIcon(images_[item.itemID - first]);
    if (icon == nullptr)
        return;
    const int size = Scaled(TImageList::kSize);
    const int top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - size) / 2;
    ::DrawIconEx(item.hDC, item.rcItem.left, top, icon, size, size, 0, nullptr, DI_NORMAL);
}

void TVxSoundWindow::OnInitMenuPopup(HMENU menu)
{
    for (const auto& [popup, opener] : menuOpeners_)
        if (popup == menu)
            (App.*opener)();
}

void TVxSoundWindow::OnMenuSelect(UINT item, UINT flags, HMENU menu)
{
    // The menu closed: the status panel loses the menu's hint.
    if (flags == 0xFFFF && menu == nullptr) {
        App.ApplicationHint("");
        return;
    }
    UINT key = item;
    if ((flags & MF_POPUP) != 0) {
        HMENU popup = ::GetSubMenu(menu, static_cast<int>(item));
        key = static_cast<UINT>(reinterpret_cast<UINT_PTR>(popup) & 0xFFFFFFFFu);
    }
    for (const auto& [id, hint] : menuHints_)
        if (id == key) {
            App.ApplicationHint(hint);
            return;
        }
    App.ApplicationHint("");
}

bool TVxSoundWindow::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (lParam == 0 && code == 0 && id >= MenuCommand(TMenuId::AutoSaveChanges1) &&
        id < MenuCommand(TMenuId::AutoSaveChanges1) + kMenuItems) {
        App.Click(static_cast<TMenuId>(id - MenuCommand(TMenuId::AutoSaveChanges1)));
        return true;
    }
    if (reinterpret_cast<HWND>(lParam) == ComboBox1 && ComboBox1 != nullptr) {
        // Only the user's choice switches devices (start-up selects
        // silently): a line picked in the list, or a key on the closed box.
        // A change that came without its end-ok (which the system sends
        // first) counts too, once.
        const auto index = static_cast<int>(::SendMessageA(ComboBox1, CB_GETCURSEL, 0, 0));
        const bool dropped = ::SendMessageA(ComboBox1, CB_GETDROPPEDSTATE, 0, 0) != 0;
        if (index >= 0 && (code == CBN_SELENDOK ||
                           (code == CBN_SELCHANGE && !dropped && index != App.ComboBox1Index)))
            App.ComboBox1Select(index);
        return true;
    }
    return false;
}
