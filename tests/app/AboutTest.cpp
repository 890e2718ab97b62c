// The About box as the window logic shows it: F1 anywhere and the "?" button.
#include "app/About.h"

#include <gtest/gtest.h>

#include "Started.h"

using testing_support::Started;

TEST(About, F1AndTheQuestionButtonShowNameVersionMethodsAttributionAndLicence) {
    Started s;
    s.window.MoveFocus("TxtWGSg", 0);
    EXPECT_FALSE(s.window.Form_KeyDown(app::kKeyF1 + 1));  // F2: not ours
    EXPECT_TRUE(s.platform.abouts.empty());

    EXPECT_TRUE(s.window.Form_KeyDown(app::kKeyF1));
    ASSERT_EQ(s.platform.abouts.size(), 1u);
    // F1 leaves the focus in the field: nothing is checked or moved.
    EXPECT_EQ(s.window.Form().focused, &s.Get("TxtWGSg", 0));

    s.window.Click("CmdAcerca");
    ASSERT_EQ(s.platform.abouts.size(), 2u);
    EXPECT_EQ(s.platform.abouts[1].text, s.platform.abouts[0].text);
    EXPECT_TRUE(s.platform.msgBoxes.empty());

    const auto& about = s.platform.abouts[0];
    EXPECT_EQ(about.title, "Acerca de Talpor");
    for (const char* part : {
             "Talpor " TALPOR_VERSION "\n",
             // The accuracies the results carry, in running text.
             "EST99, ZNW99 y BAL99; precisión ±1,5 m",
             "IGN (±3,5 m en X, ±2,5 m en Y, ±3,0 m en Z) o el del NIMA (±5,0 m, ±6,0 m, ±3,0 m)",
             "(EPSG 15932); precisión ±0,2 m",
             "Contiene datos derivados del Instituto Geográfico Nacional de España (www.ign.es), "
             "licencia CC BY 4.0",
             "GNU GPL) versión 3 o posterior",
             "sin ninguna garantía",
             "| F1 |",
             "| Ctrl+V |",
         })
        EXPECT_NE(about.text.find(part), std::string::npos) << part;
}
