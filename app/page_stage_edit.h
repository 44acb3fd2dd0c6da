// The page's edited fragment stage: the author's "#version 330" text, converted as the build converts the
// built-in stages, built through author mode's stage reloader (a good text counts in the title's
// "[reload N]", a bad one keeps the last good picture and puts its first error in the title), its errors
// listed at the author's lines.
#pragma once
#include <string>

// After prepareDemo: the reloader runs the stages the program was built from (the page's GLSL ES forms)
// and watches no folder.
void startPageStageEditing(const char* runningVertex, const char* runningFragment);

// Builds `authorText` as the fragment stage with the running vertex stage; true when it replaced the
// program. Either way the title says so at once.
bool buildPageFragmentStage(const char* authorText);

// The errors of the last failed build, one "LINE<tab>MESSAGE" line each, at the author's lines; empty after
// a good one.
std::string pageStageErrorList();

// How often a text has built since the page opened.
int pageStageReloads();
