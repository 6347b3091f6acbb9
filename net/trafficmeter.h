// The traffic meter's figures that the console shows: the three scale labels beside the
// histogram, as texts.
#pragma once

#include <string>

class CTrafficMeter {
public:
    std::string m_topLabel;
    std::string m_middleLabel;
    std::string m_bottomLabel;
};
