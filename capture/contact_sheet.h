// The contact sheet: a grid of stills over the whole run, each labelled with its music time.
#pragma once
#include <string>
#include <vector>

// `count` times spread evenly over 0 to 124 s, first and last included, rounded to 0.1 s like the labels.
std::vector<double> sheetTimes(int count);

// "62.0 s"
std::string sheetLabel(double seconds);

// Writes `text` in white on a black box into the top-left corner of the cell at (x, y) of an RGB image
// `imageWidth` pixels wide; the glyphs scale with the cell's height. A cell too narrow for the run's widest
// label gets the text up to its first space, and one too small for that (or where it would cover more than
// three quarters of the still) gets none: nothing is ever drawn outside the cell.
void drawCellLabel(std::vector<unsigned char>* rgb, int imageWidth, int x, int y, int cellWidth,
                   int cellHeight, const std::string& text);

// Copies a cell's RGB pixels into the sheet at (x, y).
void placeCell(std::vector<unsigned char>* sheet, int sheetWidth, int x, int y, const unsigned char* cell,
               int cellWidth, int cellHeight);

// Puts still number `index` (left to right, top to bottom) of a sheet `columns` cells wide in its place,
// labelled with its music time.
void addSheetCell(std::vector<unsigned char>* sheet, int columns, int index, const unsigned char* cell,
                  int cellWidth, int cellHeight, double seconds);
