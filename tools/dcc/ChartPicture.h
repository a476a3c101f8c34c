#pragma once

// telmira-dcc's png command: the chart page's chart after a replay of a recording, as a PNG
// picture. It needs Qt: a telmira-dcc built without Qt has no png command (ChartPicture.cpp
// or NoChartPicture.cpp, whichever the build has).

#include <string>

struct TPictureSize {
    int Width;
    int Height;
};

// The chart's size in the window.
inline constexpr TPictureSize DefaultPictureSize{1001, 473};

// Whether this telmira-dcc has the png command.
extern const bool ChartPicturesBuilt;

// Replays the recording as the viewer does and writes the chart to picture; raises
// std::runtime_error naming the file and the reason.
void WriteChartPicture(const std::string& recording, const std::string& picture, TPictureSize size);
