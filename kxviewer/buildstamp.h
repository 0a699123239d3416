// The build's date and time, "Mmm dd yyyy hh:mm:ss " (one trailing blank).
#pragma once

const char* BuildStamp();
