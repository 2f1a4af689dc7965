--
-- PostgreSQL database dump
--

\restrict 52SryEwCf9HfRdn84eCzYpJobtOENag96SVyB99BrR5wCYzlEQEERoOZQrBvIqK

-- Dumped from database version 15.18 (Debian 15.18-0+deb12u1)
-- Dumped by pg_dump version 15.18 (Debian 15.18-0+deb12u1)

SET statement_timeout = 0;
SET lock_timeout = 0;
SET idle_in_transaction_session_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', '', false);
SET check_function_bodies = false;
SET xmloption = content;
SET client_min_messages = warning;
SET row_security = off;

--
-- Name: archive; Type: SCHEMA; Schema: -; Owner: postgres
--

CREATE SCHEMA archive;


ALTER SCHEMA archive OWNER TO postgres;

SET default_tablespace = '';

SET default_table_access_method = heap;

--
-- Name: orders; Type: TABLE; Schema: archive; Owner: postgres
--

CREATE TABLE archive.orders (
    id integer NOT NULL,
    customer text NOT NULL,
    total numeric(8,2),
    closed date
);


ALTER TABLE archive.orders OWNER TO postgres;

--
-- Name: big_orders; Type: VIEW; Schema: archive; Owner: postgres
--

CREATE VIEW archive.big_orders AS
 SELECT orders.id,
    orders.customer
   FROM archive.orders
  WHERE (orders.total > (50)::numeric);


ALTER TABLE archive.big_orders OWNER TO postgres;

--
-- Name: orders; Type: TABLE; Schema: public; Owner: postgres
--

CREATE TABLE public.orders (
    id integer NOT NULL,
    customer text NOT NULL,
    total numeric(8,2)
);


ALTER TABLE public.orders OWNER TO postgres;

--
-- Name: order_totals; Type: MATERIALIZED VIEW; Schema: public; Owner: postgres
--

CREATE MATERIALIZED VIEW public.order_totals AS
 SELECT count(*) AS orders,
    sum(orders.total) AS total
   FROM public.orders
  WITH NO DATA;


ALTER TABLE public.order_totals OWNER TO postgres;

--
-- Name: orders_id_seq; Type: SEQUENCE; Schema: public; Owner: postgres
--

CREATE SEQUENCE public.orders_id_seq
    AS integer
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1;


ALTER TABLE public.orders_id_seq OWNER TO postgres;

--
-- Name: orders_id_seq; Type: SEQUENCE OWNED BY; Schema: public; Owner: postgres
--

ALTER SEQUENCE public.orders_id_seq OWNED BY public.orders.id;


--
-- Name: orders id; Type: DEFAULT; Schema: public; Owner: postgres
--

ALTER TABLE ONLY public.orders ALTER COLUMN id SET DEFAULT nextval('public.orders_id_seq'::regclass);


--
-- Data for Name: orders; Type: TABLE DATA; Schema: archive; Owner: postgres
--

COPY archive.orders (id, customer, total, closed) FROM stdin;
1	old one	7.00	2019-03-01
2	old two	8.50	2019-04-01
3	old three	99.99	2020-01-15
\.


--
-- Data for Name: orders; Type: TABLE DATA; Schema: public; Owner: postgres
--

COPY public.orders (id, customer, total) FROM stdin;
1	customer 1	1.50
2	customer 2	3.00
3	customer 3	4.50
4	customer 4	6.00
5	customer 5	7.50
6	customer 6	9.00
7	customer 7	10.50
8	customer 8	12.00
9	customer 9	13.50
10	customer 10	15.00
11	customer 11	16.50
12	customer 12	18.00
13	customer 13	19.50
14	customer 14	21.00
15	customer 15	22.50
16	customer 16	24.00
17	customer 17	25.50
18	customer 18	27.00
19	customer 19	28.50
20	customer 20	30.00
\.


--
-- Name: orders_id_seq; Type: SEQUENCE SET; Schema: public; Owner: postgres
--

SELECT pg_catalog.setval('public.orders_id_seq', 20, true);


--
-- Name: orders orders_pkey; Type: CONSTRAINT; Schema: archive; Owner: postgres
--

ALTER TABLE ONLY archive.orders
    ADD CONSTRAINT orders_pkey PRIMARY KEY (id);


--
-- Name: orders orders_pkey; Type: CONSTRAINT; Schema: public; Owner: postgres
--

ALTER TABLE ONLY public.orders
    ADD CONSTRAINT orders_pkey PRIMARY KEY (id);


--
-- Name: orders_customer_idx; Type: INDEX; Schema: archive; Owner: postgres
--

CREATE INDEX orders_customer_idx ON archive.orders USING btree (customer);


--
-- Name: orders_customer_idx; Type: INDEX; Schema: public; Owner: postgres
--

CREATE INDEX orders_customer_idx ON public.orders USING btree (customer);


--
-- Name: order_totals; Type: MATERIALIZED VIEW DATA; Schema: public; Owner: postgres
--

REFRESH MATERIALIZED VIEW public.order_totals;


--
-- PostgreSQL database dump complete
--

\unrestrict 52SryEwCf9HfRdn84eCzYpJobtOENag96SVyB99BrR5wCYzlEQEERoOZQrBvIqK

