#include "extract/clsConcat.h"

#include <algorithm>
#include <stdexcept>

void clsConcat::SConcat(std::string_view text)
{
    const std::size_t n = text.size();
    const std::size_t used = text_.size();
    if (n > text_.max_size() - used) throw std::overflow_error("clsConcat: the text is too long");
    if (used + n >= capacity_) {
        std::size_t step = n > used ? n : GrowthStep;
        // A text longer than the step and the free room together would not
        // fit after one step; the capacity then grows far enough to hold it.
        capacity_ = std::max(capacity_ + step, used + n);
    }
    text_.append(text);
}

std::string clsConcat::GetString()
{
    std::string text = std::move(text_);
    text_ = std::string();
    capacity_ = 0;
    return text;
}

void clsConcat::ReInit()
{
    text_ = std::string();
    capacity_ = 0;
}

void clsConcat::SetString(std::string_view text)
{
    text_.assign(text);
    capacity_ = text.size() + GrowthStep;
}
