// placeholder until the page is built
#include "gui/settings/PlayPage.h"

namespace tapewell::gui {

PlayPage::PlayPage(QWidget* parent) : QWidget(parent) {}
PlayPage::~PlayPage() = default;
bool PlayPage::Apply() { return true; }

}  // namespace tapewell::gui
