// The lists a composite job offers for each target type.
#include "composite/composite_lists.h"
#include "core/image_type.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(CompositeLists, EveryTargetOffersItsLists) {
    struct Case {
        std::uint16_t type;
        int userLayers;
        std::vector<std::string> names;
        std::vector<int> slots;
    };
    const Case cases[] = {
        {BW_IMAGE, 0, {"Gesamtbild: Graubild", "Overlay"}, {1, 0}},
        {RGB_IMAGE,
         0,
         {"Farbkanal: Rot", "Farbkanal: Gruen", "Farbkanal: Blau", "Gesamtbild: RGB", "Overlay"},
         {1, 1, 1, 3, 0}},
        {LRGB_IMAGE,
         0,
         {"Farbkanal: Helligkeit", "Farbkanal: Rot", "Farbkanal: Gruen", "Farbkanal: Blau",
          "Gesamtbild: LRGB", "Overlay"},
         {1, 1, 1, 1, 4, 0}},
        {USERDEFINED_IMAGE,
         2,
         {"Farbkanal: Benutzer", "Farbkanal: Benutzer", "Gesamtbild: Benutzer", "Overlay"},
         {1, 1, 2, 0}},
    };
    for (const Case& c : cases) {
        const int n = compositeLayerCount(c.type, c.userLayers);
        ASSERT_EQ(compositeListCount(c.type, n), static_cast<int>(c.names.size())) << c.type;
        for (int i = 0; i < compositeListCount(c.type, n); ++i) {
            EXPECT_EQ(compositeListName(c.type, n, i), c.names[static_cast<std::size_t>(i)]);
            EXPECT_EQ(compositeFactorSlots(c.type, n, i), c.slots[static_cast<std::size_t>(i)]);
        }
    }
    EXPECT_EQ(compositeListLabel(RGB_IMAGE, 3, 0),
              "In diese Liste nur Bilder des Typs Graubild einfügen!");
    EXPECT_EQ(compositeListLabel(RGB_IMAGE, 3, 3),
              "In diese Liste nur Bilder des Typs RGB einfügen!");
    EXPECT_EQ(compositeListLabel(RGB_IMAGE, 3, 4),
              "In diese Liste können beliebige Bildtypen eingefügt werden.");
    EXPECT_EQ(compositeListLayer(LRGB_IMAGE, 4, 2), 2);
    EXPECT_EQ(compositeListLayer(LRGB_IMAGE, 4, 4), -1);
    EXPECT_EQ(compositeLayerCount(CMYK_IMAGE), 0);
    EXPECT_EQ(compositeLayerCount(USERDEFINED_IMAGE, 33), 0);
}

} // namespace
} // namespace quillon
