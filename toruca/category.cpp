#include "toruca/category.h"

#include <array>

namespace {

struct Genre {
    const char16_t* name;
    std::span<const int> codes;
};

// Each genre's codes in the order the list box shows them.
constexpr int kGourmet[] = {50, 54, 251, 52, 53, 240, 241, 51, 195, 239, 247};
constexpr int kLifeServices[] = {170, 79, 65, 70, 42,  43,  37,  30, 31, 32, 35,  36, 40,  41,  190, 46,
                                 47,  74, 75, 29, 100, 189, 184, 77, 38, 39, 185, 76, 119, 180, 218, 94};
constexpr int kStores[] = {242, 45, 73, 238, 246, 234, 233, 231};
constexpr int kLeisure[] = {102, 44, 147, 57,  58,  60,  63,  64,  22,  23,  24,  25,  26,  183, 27, 21,
                            28,  34, 228, 229, 245, 249, 101, 209, 250, 243, 244, 153, 155, 157, 186};
constexpr int kFashion[] = {179, 182, 55, 92, 93, 192, 191, 196, 176, 193, 69, 171, 71, 72, 148};
constexpr int kBeauty[] = {56, 181, 204, 216, 84, 85, 91, 150, 162, 203};
constexpr int kGames[] = {78, 80, 81, 82, 83, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 86, 87, 88, 154};
constexpr int kHobbies[] = {140, 61, 146, 167, 33, 194, 187, 68, 62, 232};
constexpr int kEducation[] = {169, 227, 151, 223, 235};
constexpr int kOther[] = {136, 137, 138, 139, 113, 141, 142, 143, 144, 197, 198, 199, 200, 201, 202, 205, 206, 207,
                          208, 210, 211, 248, 252, 172, 237, 230, 236, 103, 1,   2,   3,   4,   5,   6,   7,   8,
                          48,  49,  59,  89,  90,  104, 145, 156, 225, 226, 66,  67,  95,  96,  97,  98,  99,  105,
                          106, 107, 110, 188, 177, 178, 116, 117, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130,
                          131, 132, 133, 134, 135, 212, 118, 115, 149, 152, 158, 159, 160, 161, 163, 164, 165, 166,
                          168, 173, 174, 175, 213, 214, 215, 219, 220, 217, 221, 222, 224};

constexpr std::array<Genre, CQelTorucaCategory::GENRE_COUNT> kGenres = {{
    {u"グルメ", kGourmet},
    {u"生活／サービス", kLifeServices},
    {u"コンビニ／スーパー／食品", kStores},
    {u"レジャー／宿泊／アミューズメント", kLeisure},
    {u"ファッション／アクセサリー／雑貨／インテリア", kFashion},
    {u"ビューティ＆リラクゼーション", kBeauty},
    {u"ゲーム／占い", kGames},
    {u"趣味", kHobbies},
    {u"教育／資格", kEducation},
    {u"その他", kOther},
}};

constexpr const char16_t* kAllGenresName = u"全て";

}  // namespace

std::u16string CQelTorucaCategory::GetGenreName(unsigned genre) const {
    if (genre < GENRE_COUNT) return kGenres[genre].name;
    if (genre == GENRE_ALL) return kAllGenresName;
    return {};
}

unsigned CQelTorucaCategory::GetGenre(int code) const {
    for (unsigned g = 0; g < GENRE_COUNT; ++g)
        for (const int c : kGenres[g].codes)
            if (c == code) return g;
    return GENRE_ALL;
}

std::span<const int> CQelTorucaCategory::GetCodes(unsigned genre) {
    if (genre < GENRE_COUNT) return kGenres[genre].codes;
    return {};
}
