// The icons compiled into the program: which images each icon holds, and what they look like
// when Windows draws them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "resource.h"

namespace {

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInResource;
    WORD id;
};
#pragma pack(pop)

struct IconImage {
    int size;
    int bits;
    std::vector<BYTE> data;  // the RT_ICON resource: a bitmap header or a PNG file (the 256 image)
};

std::vector<BYTE> ResourceBytes(LPCSTR name, LPCSTR type) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) return {};
    auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    return std::vector<BYTE>(bytes, bytes + SizeofResource(module, found));
}

std::vector<IconImage> IconImages(int iconId) {
    std::vector<IconImage> images;
    std::vector<BYTE> group = ResourceBytes(MAKEINTRESOURCEA(iconId), RT_GROUP_ICON);
    if (group.size() < sizeof(GroupIconHeader)) return images;
    GroupIconHeader header;
    std::memcpy(&header, group.data(), sizeof header);
    for (int i = 0; i < header.count; ++i) {
        GroupIconEntry entry;
        std::size_t at = sizeof header + i * sizeof entry;
        if (at + sizeof entry > group.size()) break;
        std::memcpy(&entry, group.data() + at, sizeof entry);
        images.push_back({entry.width == 0 ? 256 : entry.width, entry.bitCount,
                          ResourceBytes(MAKEINTRESOURCEA(entry.id), RT_ICON)});
    }
    return images;
}

constexpr std::uint32_t kBlack = 0x000000, kCyan = 0xB1FFFF, kBlue = 0x07A2FE;
constexpr std::uint32_t kMagenta = 0xFF00FF;  // the ground the icon is drawn on: it must not show

// Lets Windows make an icon of the image and draws it on magenta; answers the pixels as 0xRRGGBB,
// top row first.
std::vector<std::uint32_t> DrawnPixels(const IconImage& image) {
    std::vector<std::uint32_t> pixels;
    HICON icon =
        CreateIconFromResourceEx(const_cast<BYTE*>(image.data.data()), static_cast<DWORD>(image.data.size()),
                                 TRUE, 0x00030000, image.size, image.size, LR_DEFAULTCOLOR);
    if (icon == nullptr) return pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.size;
    info.bmiHeader.biHeight = -image.size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    auto* raw = static_cast<std::uint32_t*>(bits);
    std::fill(raw, raw + image.size * image.size, kMagenta);
    DrawIconEx(dc, 0, 0, icon, image.size, image.size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    for (int i = 0; i < image.size * image.size; ++i) pixels.push_back(raw[i] & 0xFFFFFF);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    DestroyIcon(icon);
    return pixels;
}

std::string Hex(std::uint32_t colour) {
    char text[16];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(colour));
    return text;
}

TEST(IconResources, EachIconHoldsTheImagesItShould) {
    struct Case {
        int id;
        std::set<std::pair<int, int>> sizesAndBits;
    };
    const Case cases[] = {
        {IDI_TRAY_ICON, {{16, 24}}},
        {IDI_PROGRAM_ICON, {{256, 32}, {128, 32}, {48, 32}, {32, 24}}},
    };
    for (const Case& c : cases) {
        std::set<std::pair<int, int>> found;
        for (const IconImage& image : IconImages(c.id)) {
            found.insert({image.size, image.bits});
            EXPECT_FALSE(image.data.empty()) << "icon " << c.id << " image " << image.size;
        }
        EXPECT_EQ(found, c.sizesAndBits) << "icon " << c.id;
    }
}

TEST(IconResources, TrayIconIsAnOutlinedBlueKOnLightCyanInABlackFrame) {
    std::vector<IconImage> images = IconImages(IDI_TRAY_ICON);
    ASSERT_EQ(images.size(), 1u);
    std::vector<std::uint32_t> pixels = DrawnPixels(images[0]);
    ASSERT_EQ(pixels.size(), 256u) << "Windows could not make an icon of the image";
    auto at = [&](int x, int y) { return pixels[y * 16 + x]; };
    int blue = 0, cyan = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            std::uint32_t p = at(x, y);
            bool frame = x == 0 || y == 0 || x == 15 || y == 15;
            if (frame) {
                EXPECT_EQ(Hex(p), Hex(kBlack)) << "frame pixel " << x << "," << y;
                continue;
            }
            EXPECT_TRUE(p == kBlack || p == kCyan || p == kBlue) << Hex(p) << " at " << x << "," << y;
            if (p == kCyan) ++cyan;
            if (p != kBlue) continue;
            ++blue;
            // Outlined: the letter never meets the ground side by side.
            const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
            for (int k = 0; k < 4; ++k)
                EXPECT_NE(at(x + dx[k], y + dy[k]), kCyan)
                    << "letter pixel " << x << "," << y << " touches the ground";
        }
    }
    EXPECT_GE(blue, 30) << "the letter should be drawn in blue";
    EXPECT_GE(cyan, blue) << "the ground should be light cyan";
    EXPECT_EQ(Hex(at(1, 1)), Hex(kCyan));
}

TEST(IconResources, ProgramIconImagesAreOpaqueBlueKsOnLightCyanInABlackFrame) {
    std::vector<IconImage> images = IconImages(IDI_PROGRAM_ICON);
    ASSERT_EQ(images.size(), 4u);
    for (const IconImage& image : images) {
        int n = image.size;
        std::vector<std::uint32_t> pixels = DrawnPixels(image);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(n * n)) << "image " << n;
        auto at = [&](int x, int y) { return pixels[y * n + x]; };
        int magenta = 0, blue = 0;
        for (std::uint32_t p : pixels) {
            if (p == kMagenta) ++magenta;
            if (p == kBlue) ++blue;
        }
        EXPECT_EQ(magenta, 0) << "image " << n << " lets the ground through";
        EXPECT_GE(blue, n * n / 10) << "image " << n << " has too little blue letter";
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(at(i, 0), kBlack) << "top frame, image " << n << " x " << i;
            EXPECT_EQ(at(i, n - 1), kBlack) << "bottom frame, image " << n << " x " << i;
            EXPECT_EQ(at(0, i), kBlack) << "left frame, image " << n << " y " << i;
            EXPECT_EQ(at(n - 1, i), kBlack) << "right frame, image " << n << " y " << i;
        }
        int inner = n / 48 + 1;  // just inside the frame
        EXPECT_EQ(Hex(at(inner, inner)), Hex(kCyan)) << "image " << n;
        EXPECT_EQ(Hex(at(n * 32 / 100, n / 2)), Hex(kBlue)) << "the K's stem, image " << n;
    }
}

}  // namespace
