// Peer: SheetJS (npm "xlsx") reads the workbook and turns the first sheet into rows.
const XLSX = require("xlsx");
const book = XLSX.readFile(process.argv[2], { dense: true });
const rows = XLSX.utils.sheet_to_json(book.Sheets[book.SheetNames[0]], { header: 1 });
console.log(rows.length - 1);
