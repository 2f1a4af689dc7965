COPY t FROM stdin;
\\x41	\N

\101\x4\
