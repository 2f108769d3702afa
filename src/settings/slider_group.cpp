#include "settings/slider_group.h"

namespace lumora {

const SliderGroup* FindByTrackbar(const SliderGroup* table, int count, int id) {
    for (int i = 0; i < count; ++i) {
        if (table[i].trackbar == id) return &table[i];
    }
    return nullptr;
}

const SliderGroup* FindByEdit(const SliderGroup* table, int count, int id) {
    for (int i = 0; i < count; ++i) {
        if (table[i].edit == id) return &table[i];
    }
    return nullptr;
}

}  // namespace lumora
