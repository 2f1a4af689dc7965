-- PostgreSQL database dump
\connect a
SELECT pg_catalog.set_config('search_path', '', false);
CREATE SCHEMA archive;
CREATE TABLE archive.orders (id integer, total numeric(8,2));
CREATE TABLE public.orders (id serial PRIMARY KEY);
SET search_path = archive, pg_catalog;
CREATE VIEW big AS SELECT orders.id FROM archive.orders WHERE (orders.total > (50)::numeric);
CREATE MATERIALIZED VIEW public.totals AS SELECT count(*) AS n FROM public.orders, orders o WITH NO DATA;
COPY orders (id, total) FROM stdin;
1	7.00
\.
CREATE INDEX orders_idx ON ONLY public.orders USING btree (id);
\connect -reuse-previous=on "dbname='b'"
CREATE TABLE orders (id int);
REFRESH MATERIALIZED VIEW public.totals;
