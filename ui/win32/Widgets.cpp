#include "Widgets.h"
#include "PaintBox.h"

#include <algorithm>
#include <vector>

// ---- splitter ------------------------------------------------------------------

int TSplitter::Thickness() const
{
    return vertical_ ? Strip.right - Strip.left : Strip.bottom - Strip.top;
}

void TSplitter::Begin(HWND parent, POINT p)
{
    parent_ = parent;
    dragging_ = true;
    line_ = vertical_ ? Strip.left : Strip.top;
    grab_ = Along(p) - line_;
    ::SetCapture(parent_);
    ToggleLine();
}

void TSplitter::Move(POINT p)
{
    if (!dragging_)
        return;
    const int first = vertical_ ? Bounds.left : Bounds.top;
    const int last = (vertical_ ? Bounds.right : Bounds.bottom) - Thickness();
    const int wanted = std::clamp(Along(p) - grab_, first, std::max(first, last));
    // A refused position leaves the line where it was.
    if (wanted == line_ || (OnCanResize && !OnCanResize(last - wanted)))
        return;
    ToggleLine();
    line_ = wanted;
    ToggleLine();
}

void TSplitter::End(POINT p)
{
    if (!dragging_)
        return;
    Move(p);
    ToggleLine();
    dragging_ = false;
    if (::GetCapture() == parent_)
        ::ReleaseCapture();
    const int last = (vertical_ ? Bounds.right : Bounds.bottom) - Thickness();
    if (OnMoved)
        OnMoved(last - line_);
}

void TSplitter::Cancel()
{
    if (!dragging_)
        return;
    ToggleLine();
    dragging_ = false;
    if (::GetCapture() == parent_)
        ::ReleaseCapture();
}

// The line is inverted on the window and its children and inverted back, so
// it needs no saved pixels; the displays redraw only every 100 ms, so it
// shows through them well enough while the mouse moves.
void TSplitter::ToggleLine()
{
    HDC dc = ::GetDCEx(parent_, nullptr, DCX_CACHE | DCX_PARENTCLIP | DCX_LOCKWINDOWUPDATE);
    if (dc == nullptr)
        dc = ::GetDC(parent_);
    const int t = std::max(1, Thickness());
    if (vertical_)
        ::PatBlt(dc, line_, Bounds.top, t, Bounds.bottom - Bounds.top, DSTINVERT);
    else
        ::PatBlt(dc, Bounds.left, line_, Bounds.right - Bounds.left, t, DSTINVERT);
    ::ReleaseDC(parent_, dc);
}

// ---- image list -------------------------------------------------------------------

namespace {

// Palette: "." is the silver background, drawn transparent.
constexpr TColor kPalette[] = {
    RGBColor(192, 192, 192),  // .
    RGBColor(0, 0, 128),  // a
    RGBColor(0, 0, 0),  // b
    RGBColor(128, 64, 0),  // c
    RGBColor(128, 0, 0),  // d
    RGBColor(0, 160, 0),  // e
    RGBColor(255, 255, 0),  // f
    RGBColor(224, 0, 0),  // g
    RGBColor(128, 128, 128),  // h
};
// image 5
constexpr const char* kImage05[16] = {
    "................",
    "......aaaa......",
    ".....aa..aa.....",
    "....aa....aa....",
    "..........aa....",
    ".........aa.....",
    "........aa......",
    ".......aa.......",
    ".......aa.......",
    "................",
    "................",
    ".......aa.......",
    ".......aa.......",
    "................",
    "................",
    "................",
};
// image 9
constexpr const char* kImage09[16] = {
    "................",
    "...bbbbbbbbb....",
    "...bcccccccb....",
    "...bcdddddcb....",
    "...bcdddddcb....",
    "...bcdddddcb....",
    "...bcdddddcb..e.",
    "...bcccccccb..e.",
    "...bccccccfbeeee",
    "...bcdddddcb..e.",
    "...bcdddddcb..e.",
    "...bcdddddcb....",
    "...bcdddddcb....",
    "...bcccccccb....",
    "...bbbbbbbbb....",
    "................",
};
// image 10
constexpr const char* kImage10[16] = {
    "................",
    "................",
    "................",
    ".............gg.",
    "............ggg.",
    "...........ggg..",
    "...........gg...",
    "..........ggg...",
    "..gg.....ggg....",
    "..ggg...ggg.....",
    "...ggg..gg......",
    "....gggggg......",
    ".....gggg.......",
    "......gg........",
    "................",
    "................",
};
// image 11
constexpr const char* kImage11[16] = {
    "................",
    ".b..............",
    ".b..............",
    ".b..........aa..",
    ".b..........aa..",
    ".b....ff....aa..",
    ".b....ff....aa..",
    ".b....ff.gg.aa..",
    ".b....ff.gg.aa..",
    ".b.ee.ff.gg.aa..",
    ".b.ee.ff.gg.aa..",
    ".b.ee.ff.gg.aa..",
    ".b.ee.ff.gg.aa..",
    ".b.ee.ff.gg.aa..",
    ".bbbbbbbbbbbbbb.",
    "................",
};
// image 12
constexpr const char* kImage12[16] = {
    "................",
    ".........b......",
    "........bb......",
    ".......bbb...a..",
    "......bbbb....a.",
    ".....bbbbb.a..a.",
    "..bbbbbbbb..a.a.",
    "..bbbbbbbb..a..a",
    "..bbbbbbbb..a..a",
    "..bbbbbbbb..a.a.",
    ".....bbbbb.a..a.",
    "......bbbb....a.",
    ".......bbb...a..",
    "........bb......",
    ".........b......",
    "................",
};
// image 22
constexpr const char* kImage22[16] = {
    "................",
    "................",
    ".....g..........",
    ".....gg.........",
    ".....ggg........",
    ".....gggg.......",
    ".....ggggg......",
    ".....gggggg.....",
    ".....ggggg......",
    ".....gggg.......",
    ".....ggg........",
    ".....gg.........",
    ".....g..........",
    "................",
    "................",
    "................",
};
// image 23
constexpr const char* kImage23[16] = {
    "................",
    "................",
    ".....h..........",
    ".....hh.........",
    ".....h.h........",
    ".....h..h.......",
    ".....h...h......",
    ".....h....h.....",
    ".....h...h......",
    ".....h..h.......",
    ".....h.h........",
    ".....hh.........",
    ".....h..........",
    "................",
    "................",
    "................",
};
// the Close button's glyph
constexpr const char* kCloseGlyph[16] = {
    "................",
    "................",
    "................",
    "...ee.......ee..",
    "...eee.....eee..",
    "....eee...eee...",
    ".....eee.eee....",
    "......eeeee.....",
    ".......eee......",
    "......eeeee.....",
    ".....eee.eee....",
    "....eee...eee...",
    "...eee.....eee..",
    "...ee.......ee..",
    "................",
    "................",
};

const char* const* Rows(int index)
{
    switch (index) {
    case 5: return kImage05;
    case 9: return kImage09;
    case 10: return kImage10;
    case 11: return kImage11;
    case 12: return kImage12;
    case 22: return kImage22;
    case 23: return kImage23;
    case TImageList::kCloseGlyph: return kCloseGlyph;
    default: return nullptr;
    }
}

constexpr TColor kSilver = RGBColor(192, 192, 192);

// A top-down 32-bit DIB section with premultiplied alpha: what menus and
// buttons draw with their transparency.
HBITMAP AlphaBitmap(const TCanvas& picture, int size)
{
    BITMAPINFO info = CanvasBitmapInfo(size, size);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr)
        return nullptr;
    auto* out = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const TColor c = picture.Pixel(x * picture.Width() / size, y * picture.Height() / size);
            out[y * size + x] = c == kSilver ? 0u : (0xFF000000u | (c & 0xFFFFFFu));
        }
    return bitmap;
}

}  // namespace

TCanvas TImageList::Image(int index)
{
    TCanvas image(kSize, kSize, kSilver);
    const char* const* rows = Rows(index);
    if (rows == nullptr)
        return image;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const char c = rows[y][x];
            const int entry = c == '.' ? 0 : c - 'a' + 1;
            if (entry >= 0 && entry < static_cast<int>(std::size(kPalette)))
                image.SetPixel(x, y, kPalette[entry]);
        }
    return image;
}

HBITMAP TImageList::Bitmap(int index, int size)
{
    return AlphaBitmap(Image(index), size);
}

HICON TImageList::Icon(int index, int size)
{
    HBITMAP colour = Bitmap(index, size);
    if (colour == nullptr)
        return nullptr;
    // The mask hides the silver background too, for whoever draws without
    // the colour bitmap's alpha.
    const TCanvas image = Image(index);
    const int stride = (size + 15) / 16 * 2;
    std::vector<BYTE> bits(static_cast<std::size_t>(stride * size), 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (image.Pixel(x * kSize / size, y * kSize / size) == kSilver)
                bits[static_cast<std::size_t>(y * stride + x / 8)] |= static_cast<BYTE>(0x80 >> (x % 8));
    HBITMAP mask = ::CreateBitmap(size, size, 1, 1, bits.data());
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour;
    info.hbmMask = mask;
    HICON icon = ::CreateIconIndirect(&info);
    ::DeleteObject(colour);
    ::DeleteObject(mask);
    return icon;
}

// ---- picture ---------------------------------------------------------------------

bool LoadPictureFile(const std::string& path, TCanvas& canvas)
{
    auto* bitmap = static_cast<HBITMAP>(
        ::LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (bitmap == nullptr)
        return false;
    BITMAP shape{};
    bool ok = ::GetObjectA(bitmap, sizeof shape, &shape) == sizeof shape && shape.bmWidth > 0 &&
              shape.bmHeight != 0;
    const int width = shape.bmWidth;
    const int height = shape.bmHeight < 0 ? -shape.bmHeight : shape.bmHeight;
    TCanvas picture;
    if (ok) {
        picture = TCanvas(width, height);
        BITMAPINFO info = CanvasBitmapInfo(width, height);
        HDC dc = ::GetDC(nullptr);
        ok = ::GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), picture.Bits(), &info, DIB_RGB_COLORS) == height;
        ::ReleaseDC(nullptr, dc);
    }
    ::DeleteObject(bitmap);
    if (!ok)
        return false;
    // A bitmap file has no alpha: every pixel is opaque.
    std::uint32_t* bits = picture.Bits();
    for (int i = 0; i < width * height; ++i)
        bits[i] |= 0xFF000000u;
    canvas = std::move(picture);
    return true;
}
