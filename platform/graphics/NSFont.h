// Fonts by name through fontconfig and Pango. Names may be families ("Noto Sans CJK SC")
// or PostScript-style names ("PingFangSC-Regular"); families missing here resolve to
// installed equivalents (PingFang SC to Noto Sans CJK SC).
#pragma once
#include <memory>
#include <string>

#include "platform/graphics/Geometry.h"

typedef struct _PangoFontDescription PangoFontDescription;

namespace platform {

class NSFont;
using NSFontPtr = std::shared_ptr<const NSFont>;

class NSFont {
public:
    // Null when no installed font answers the name.
    static NSFontPtr fontWithName(const std::string& name, CGFloat size);
    static NSFontPtr systemFontOfSize(CGFloat size);
    static NSFontPtr boldSystemFontOfSize(CGFloat size);
    static CGFloat systemFontSize() { return 13; }

    ~NSFont();
    NSFont(const NSFont&) = delete;
    NSFont& operator=(const NSFont&) = delete;

    const std::string& fontName() const { return name_; }
    // The installed family that draws this font.
    const std::string& familyName() const { return family_; }
    CGFloat pointSize() const { return size_; }
    CGFloat ascender() const { return ascender_; }
    CGFloat descender() const { return descender_; }  // negative, as on the platform
    // Ascender + |descender| + leading: the default distance between baselines.
    CGFloat lineHeight() const { return ascender_ - descender_; }
    NSFontPtr withSize(CGFloat size) const;

    // Owned by the font; valid as long as it lives.
    const PangoFontDescription* pangoDescription() const { return description_; }

    bool operator==(const NSFont& o) const { return family_ == o.family_ && size_ == o.size_ && weight_ == o.weight_; }

private:
    NSFont(std::string name, std::string family, int weight, CGFloat size);
    std::string name_, family_;
    int weight_;
    CGFloat size_;
    CGFloat ascender_ = 0, descender_ = 0;
    PangoFontDescription* description_;
};

}  // namespace platform
