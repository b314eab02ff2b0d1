#include "operations/Cautions.h"

#include "operations/Editing.h"
#include "operations/View.h"

namespace kelvar {

void cCautions::ShowCaution(int number, cView& view) {
    if (number < 0 || number >= Count) {
        return;
    }
    const auto index = static_cast<std::size_t>(number);
    if (!show_[index] || shownThisRun_[index]) {
        return;
    }
    const auto texts = CautionTexts(number);
    if (!texts) {
        return;
    }
    if (view.ShowInformation(texts->text, texts->cautionLine)) {
        show_[index] = false;
    }
    shownThisRun_[index] = true;
}

} // namespace kelvar
