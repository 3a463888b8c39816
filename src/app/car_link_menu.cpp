// Setup > Car Link: which ECU the car link test asks, and whether it quiets the bus first.

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <iterator>

#include "app/app_settings.h"
#include "app/frmBaudTest.h"
#include "car_link/car_link_texts.h"
#include "common/number_text.h"

namespace {

constexpr const char* kSection = "CarLinkInfo";
// The toolkit's truth values, as the settings keep them.
constexpr int kTrue = -1;

}  // namespace

void frmBaudTest::CreateCarLinkMenu() {
  xmnuSetupCarLink = xmnuSetup->addMenu("Car &Link");
  xmnuSetupCarLink->setObjectName("xmnuSetupCarLink");
  auto* ids = new QActionGroup(xmnuSetupCarLink);
  std::vector<std::uint8_t> common(std::begin(kCommonEcuIds), std::end(kCommonEcuIds));
  mnuCarLinkEcu = {xmnuSetupCarLink->addAction(QString::fromStdString("Any ECU (" + IdList(common) + ")"))};
  for (const std::uint8_t id : common) {
    mnuCarLinkEcu.push_back(xmnuSetupCarLink->addAction(QString::fromStdString("ECU " + HexByte(id))));
  }
  for (std::size_t i = 0; i < mnuCarLinkEcu.size(); ++i) {
    mnuCarLinkEcu[i]->setObjectName(ControlArrayName("mnuCarLinkEcu", static_cast<int>(i)));
    mnuCarLinkEcu[i]->setCheckable(true);
    mnuCarLinkEcu[i]->setActionGroup(ids);
    connect(mnuCarLinkEcu[i], &QAction::triggered, this,
            [this, i] { mnuCarLinkEcu_Click(static_cast<std::int16_t>(i)); });
  }
  mnuCarLinkEcu[0]->setChecked(true);
  xmnuSetupCarLink->addSeparator();
  mnuCarLinkQuietBus = xmnuSetupCarLink->addAction("Quiet Bus (Mode 8)");
  mnuCarLinkQuietBus->setObjectName("mnuCarLinkQuietBus");
  mnuCarLinkQuietBus->setCheckable(true);
  mnuCarLinkQuietBus->setToolTip("Asks the other modules to keep quiet during the test, and to talk again after it");
  xmnuSetupCarLink->setToolTipsVisible(true);
  connect(mnuCarLinkQuietBus, &QAction::triggered, this, [this] { mnuCarLinkQuietBus_Click(); });
}

void frmBaudTest::mnuCarLinkEcu_Click(std::int16_t Index) {
  CheckOnly(mnuCarLinkEcu, Index);
  session_.CarLink.ecuId.reset();
  if (Index > 0 && Index < static_cast<int>(mnuCarLinkEcu.size())) session_.CarLink.ecuId = kCommonEcuIds[Index - 1];
}

void frmBaudTest::mnuCarLinkQuietBus_Click() { session_.CarLink.quietBus = mnuCarLinkQuietBus->isChecked(); }

void frmBaudTest::LoadCarLinkSettings() {
  const int id = GetAppSetting(kSection, "EcuId").toInt();
  const auto entry = std::ranges::find(kCommonEcuIds, id);
  mnuCarLinkEcu_Click(entry == std::end(kCommonEcuIds) ? 0 : static_cast<std::int16_t>(entry - kCommonEcuIds + 1));
  mnuCarLinkQuietBus->setChecked(GetAppSetting(kSection, "QuietBus").toInt() == kTrue);
  mnuCarLinkQuietBus_Click();
}

void frmBaudTest::SaveCarLinkSettings() {
  SaveAppSetting(kSection, "EcuId", QString::fromStdString(NumberText(session_.CarLink.ecuId.value_or(0))));
  SaveAppSetting(kSection, "QuietBus", QString::fromStdString(NumberText(session_.CarLink.quietBus ? kTrue : 0)));
}
