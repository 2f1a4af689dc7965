SELECT $$ a; b; $x$ ; -- c
/* d; */ /*!4 e */; "unterminated