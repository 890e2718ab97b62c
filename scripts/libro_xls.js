// Writes tests/data/libro.xls, the old binary Excel (BIFF8) workbook of talpor-lote's
// spreadsheet test, with SheetJS (npm package xlsx): the «Puntos» sheet of
// tests/batch/sheets.py and a «Notas» sheet long enough for the workbook to pass 4 KiB,
// below which the library GDAL reads .xls with (FreeXL) finds no sheet in it.
//   npm install xlsx && node scripts/libro_xls.js tests/data/libro.xls
const X = require('xlsx');
const book = X.utils.book_new();
X.utils.book_append_sheet(book, X.utils.aoa_to_sheet([
  ['Vertice', 'Huso', 'Este', 'Norte', 'Altitud'],
  ['V1', 30, 440721.12, 4474447.5, 650.3],
  [],
  ['V2', 30, 500000.25, 4600000, 712]]), 'Puntos');
X.utils.book_append_sheet(book, X.utils.aoa_to_sheet([['Nota']].concat(Array.from({length: 300}, (_, i) => ['nota ' + i]))), 'Notas');
X.writeFile(book, process.argv[2], {bookType: 'biff8'});
