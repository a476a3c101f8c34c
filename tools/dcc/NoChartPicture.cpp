#include "tools/dcc/ChartPicture.h"

#include <stdexcept>

const bool ChartPicturesBuilt = false;

// Never called: without pictures, telmira-dcc has no png command.
void WriteChartPicture(const std::string&, const std::string&, TPictureSize) {
    throw std::logic_error("telmira-dcc was built without pictures");
}
